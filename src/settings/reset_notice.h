#pragma once
// Tells the user that their settings file, or the incident log, could not
// be read, that a fresh one is in use, and where the old file is kept, until
// they dismiss it. The folder and the file name take a line each and elide
// in the middle, so a long path never pushes the sidebar wider.

#include <QString>
#include <QWidget>

#include <functional>

class PressButton;
class QLabel;
class ShrinkLabel;

class ResetNotice : public QWidget {
    Q_OBJECT

public:
    ResetNotice(std::function<void()> dismiss, QWidget* parent = nullptr);

    // `file` is where the old file is kept, or, when no copy of it could be
    // made, where it still lies.
    void setReset(const QString& file, bool kept);
    // The incident log was set aside as `file`.
    void setIncidentsKept(const QString& file);

    QString title() const;
    QString detail() const;
    // The path as two lines: its folder (ending in "/") and its name.
    QString folderLine() const;
    QString nameLine() const;
    ShrinkLabel* folderLabel() const { return folder_; }
    ShrinkLabel* nameLabel() const { return name_; }
    PressButton* dismissButton() const { return dismiss_; }

    // A path under the home folder starts with "~".
    static QString shortPath(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setFile(const QString& file);

    QLabel* title_ = nullptr;
    QLabel* detail_ = nullptr;
    ShrinkLabel* folder_ = nullptr;
    ShrinkLabel* name_ = nullptr;
    PressButton* dismiss_ = nullptr;
};
