#pragma once
// The settings window's Feedback pane: a live preview of the diagnostics
// report with a button that copies it, and the contact channels of this
// build, each a row that opens its link.

#include "model/monitor.h"
#include "settings/contact.h"
#include "ui/refresh_gate.h"

#include <QWidget>

class FilledButton;
class QLabel;

class FeedbackPane : public QWidget {
    Q_OBJECT

public:
    static constexpr double confirmSeconds = 1.6;

    explicit FeedbackPane(Monitor& monitor, QWidget* parent = nullptr);

    bool copied() const { return copied_; }
    FilledButton* copyButton() const { return copy_; }
    QLabel* preview() const { return preview_; }
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
    QLabel* preview_ = nullptr;
    QWidget* channels_ = nullptr;
    QList<QWidget*> rows_;
    bool copied_ = false;
    RefreshGate gate_{this, [this] { refresh(); }};
};
