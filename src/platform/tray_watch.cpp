#include "platform/tray_watch.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

#ifdef TAVRIN_XCB
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#endif

// Tells the owner changes of _NET_SYSTEM_TRAY_S<screen> through XFixes: the
// X server reports every new owner, and an owner's window going away or its
// client closing, as events on Qt's own connection.
class TrayWatch::X11Selection : public QAbstractNativeEventFilter {
public:
    explicit X11Selection(TrayWatch& watch) : watch_(watch) {}

    ~X11Selection() override
    {
        if (installed_)
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    // False where there is no X connection or no XFixes.
    bool start()
    {
#ifdef TAVRIN_XCB
        auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        connection_ = x11 ? x11->connection() : nullptr;
        if (!connection_)
            return false;
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(connection_, &xcb_xfixes_id);
        if (!ext || !ext->present)
            return false;
        firstEvent_ = ext->first_event;
        // XFixes answers only clients that said which version they speak.
        free(xcb_xfixes_query_version_reply(
            connection_, xcb_xfixes_query_version(connection_, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
            nullptr));

        int screen = 0;
        char* host = nullptr;
        int display = 0;
        if (!xcb_parse_display(nullptr, &host, &display, &screen))
            screen = 0;
        free(host);
        xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        for (int i = 0; i < screen && roots.rem > 1; ++i)
            xcb_screen_next(&roots);
        if (!roots.data)
            return false;
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, uint16_t(name.size()), name.constData()), nullptr);
        if (!atom)
            return false;
        selection_ = atom->atom;
        free(atom);

        QCoreApplication::instance()->installNativeEventFilter(this);
        installed_ = true;
        xcb_xfixes_select_selection_input(connection_, roots.data->root, selection_,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                                              | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                                              | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        // Asked once after the selection is watched, so no change between
        // the two goes unseen.
        xcb_get_selection_owner_reply_t* owner
            = xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, selection_), nullptr);
        watch_.setXembed(owner && owner->owner != XCB_NONE);
        free(owner);
        return true;
#else
        return false;
#endif
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
#ifdef TAVRIN_XCB
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != firstEvent_ + XCB_XFIXES_SELECTION_NOTIFY)
            return false;
        const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
        if (notify->selection != selection_)
            return false;
        watch_.setXembed(notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER
                         && notify->owner != XCB_NONE);
        // Ours alone: Qt's clipboard, which reads these events too, has no
        // business with the tray's selection.
        return true;
#else
        Q_UNUSED(type);
        Q_UNUSED(message);
#endif
        return false;
    }

private:
    TrayWatch& watch_;
    bool installed_ = false;
#ifdef TAVRIN_XCB
    xcb_connection_t* connection_ = nullptr;
    xcb_atom_t selection_ = XCB_NONE;
    uint8_t firstEvent_ = 0;
#endif
};

TrayWatch::TrayWatch(QObject* parent)
    : TrayWatch(QDBusConnection::sessionBus(),
                QGuiApplication::platformName().compare(QLatin1String("xcb"), Qt::CaseInsensitive) == 0, parent)
{
}

TrayWatch::TrayWatch(const QDBusConnection& bus, bool x11, QObject* parent)
    : QObject(parent)
{
    if (bus.isConnected()) {
        const QString name = QString::fromLatin1(watcherService);
        busWatcher_ = new QDBusServiceWatcher(name, bus,
                                              QDBusServiceWatcher::WatchForRegistration
                                                  | QDBusServiceWatcher::WatchForUnregistration,
                                              this);
        connect(busWatcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] { setStatusNotifier(true); });
        connect(busWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] { setStatusNotifier(false); });
        // One question at start-up, after the watch is set; the bus daemon
        // answers it itself.
        if (QDBusConnectionInterface* daemon = bus.interface())
            statusNotifier_ = daemon->isServiceRegistered(name).value();
    }
    if (x11) {
        x11_ = std::make_unique<X11Selection>(*this);
        if (!x11_->start())
            x11_.reset();
    }
}

TrayWatch::~TrayWatch() = default;

void TrayWatch::setStatusNotifier(bool present)
{
    // A watcher that restarts drops every item it knew: that counts as a
    // change even when it is back before we hear it left.
    statusNotifier_ = present;
    emit changed(available());
}

void TrayWatch::setXembed(bool present)
{
    // A new owner replacing the old one counts too: the icon must dock into
    // the new tray.
    xembed_ = present;
    emit changed(available());
}
