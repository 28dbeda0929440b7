#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#include <cstdint>
#include <initializer_list>

struct xcb_connection_t;

// A connection to one X display, made when first asked for. A display that
// failed is tried again only after a pause, so a missing X server costs
// nothing on every sweep. The atoms its user names are interned at once on
// every new connection.
class XcbConnection {
public:
    // An empty display name means there is no X display to talk to. The
    // atom names are kept as given: string literals.
    XcbConnection(QByteArray displayName, std::initializer_list<const char*> atomNames);
    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    // The working connection, made now if there is none or the last one
    // broke; nullptr while the display fails. fresh tells whether it is new.
    xcb_connection_t* connect(bool* fresh = nullptr);
    // The connection as it is, never connecting.
    xcb_connection_t* get() const { return m_connection; }
    // The connection's socket; -1 without a connection.
    int descriptor() const;
    // Drops a connection that broke; true if it did.
    bool dropIfBroken();
    // An atom by its place in atomNames; XCB_ATOM_NONE when the server
    // has none or there is no connection.
    std::uint32_t atom(int index) const { return m_atoms.value(index); }

private:
    void disconnect();

    QByteArray m_displayName;
    QList<const char*> m_atomNames;
    QList<std::uint32_t> m_atoms;
    xcb_connection_t* m_connection = nullptr;
    QElapsedTimer m_sinceFailure;
};
