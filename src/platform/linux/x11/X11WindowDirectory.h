#pragma once

#include "platform/linux/x11/XcbConnection.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QStringList>

#include <cstdint>

struct xcb_connection_t;

// The user's top-level X11 windows as docks and task bars see them, each
// with the process that owns it and the names it gives its application.
// Window changes are learnt from events, so asking costs nothing while no
// window appears. Whoever acts on the windows does so on its connection.
class X11WindowDirectory {
public:
    struct Client {
        std::uint32_t window = 0;
        qint64 pid = 0;
    };
    // The atoms interned on every connection.
    enum class Atom {
        ClientList,
        WmPid,
        WmState,
        GtkApplicationId,
        Utf8String,
        WmProtocols,
        WmDeleteWindow
    };

    // An empty display name means there is no X display to talk to.
    explicit X11WindowDirectory(QByteArray displayName);
    ~X11WindowDirectory();
    X11WindowDirectory(const X11WindowDirectory&) = delete;
    X11WindowDirectory& operator=(const X11WindowDirectory&) = delete;

    // Whether windows may have appeared since the last call; true once
    // after (re)connecting. No round trip to the server.
    bool takeChanges();
    // The connection's socket, readable when window events arrive; -1
    // without a connection. Connects if there is none.
    int eventDescriptor();
    // Reads the events that arrived, read from the socket or not, and
    // returns whether windows may have appeared since takeChanges(); the
    // next takeChanges() says so too. Never blocks.
    bool readEvents();
    // The window manager's clients, and windows found under the root that
    // it does not list, each with its owner's PID where known.
    QList<Client> clients();
    // _GTK_APPLICATION_ID, else WM_CLASS instance and class.
    QStringList names(std::uint32_t window);

    // The connection clients() found its windows on, never connecting;
    // nullptr without one.
    xcb_connection_t* connection() const { return m_x.get(); }
    // XCB_ATOM_NONE without a connection.
    std::uint32_t atom(Atom which) const { return m_x.atom(int(which)); }

private:
    bool connect();
    void forget();
    QList<std::uint32_t> listedClients(std::uint32_t root);
    QList<std::uint32_t> walkedClients(std::uint32_t root);
    std::uint32_t clientBelow(std::uint32_t frame);
    void learnPids(const QList<std::uint32_t>& windows);
    bool hasWmState(std::uint32_t window);

    XcbConnection m_x;
    bool m_changed = false;
    bool m_hasXRes = false;
    std::uint32_t m_resourceMask = 0;
    // What never changes for a window: its owner, which client a root child
    // stands for. Only what was found is kept: a window a killed window
    // manager still lists may later be a new client's, under the same ID.
    QHash<std::uint32_t, qint64> m_pids;
    QHash<std::uint32_t, std::uint32_t> m_clientOfRootChild;
    QHash<std::uint32_t, QStringList> m_names;
};
