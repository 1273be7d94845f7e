#pragma once
// The settings window's Feedback pane: a live preview of the diagnostics
// report with a button that copies it, and the contact channels of this
// build, each a row that opens its link.

#include "model/monitor.h"
#include "settings/contact.h"
#include "ui/refresh_gate.h"

#include <QWidget>

class FilledButton;
class QTextEdit;

class FeedbackPane : public QWidget {
    Q_OBJECT

public:
    static constexpr double confirmSeconds = 1.6;

    static constexpr double previewLineSpacing = 3;

    // `channels` empty: this build's own channels.
    explicit FeedbackPane(Monitor& monitor, QWidget* parent = nullptr, Contact::ChannelSource channels = {});

    bool copied() const { return copied_; }
    FilledButton* copyButton() const { return copy_; }
    // The report as shown: plain text, selectable, spaced.
    QTextEdit* preview() const { return preview_; }
    // The rows' widgets, in channel order (tests).
    QList<QWidget*> channelRows() const { return rows_; }
    QWidget* channelCard() const { return channels_; }

    // The copy button's action: the fenced report onto the clipboard, the
    // confirm cue, and "Copied" for a while.
    void copy();

private:
    void refresh();
    void setCopied(bool copied);

    Monitor& monitor_;
    FilledButton* copy_ = nullptr;
    QTextEdit* preview_ = nullptr;
    QWidget* channels_ = nullptr;
    QList<QWidget*> rows_;
    bool copied_ = false;
    RefreshGate gate_{this, [this] { refresh(); }};
};
