#pragma once
// A plain panel in the place and at the size of a view that is not built
// yet. It names the view and says so, in the current language, and shows no
// figures. Each stand-in goes once its view lands.

#include <QString>
#include <QWidget>

class StandIn : public QWidget {
    Q_OBJECT

public:
    // `en` and `zh` name the view; chosen once, since a language change
    // rebuilds the window.
    StandIn(const char* en, const char* zh, QWidget* parent = nullptr);

    QString name() const { return name_; }
    // "not built yet" in the current language.
    static QString notBuilt();
    // The one-line form menus use: the name and "not built yet".
    static QString caption(const char* en, const char* zh);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, 0}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
};
