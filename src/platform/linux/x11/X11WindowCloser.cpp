#include "platform/linux/x11/X11WindowCloser.h"
#include "platform/linux/x11/XcbReply.h"

#include <xcb/xcb.h>

#include <algorithm>

namespace {

// Indexes into the atoms the connection interns.
enum Atom { ClientList, WmPid, WmProtocols, WmDeleteWindow };

} // namespace

X11WindowCloser::X11WindowCloser(QByteArray displayName)
    : m_x(std::move(displayName),
          {"_NET_CLIENT_LIST", "_NET_WM_PID", "WM_PROTOCOLS", "WM_DELETE_WINDOW"}) {}

X11WindowCloser::~X11WindowCloser() = default;

QList<std::uint32_t> X11WindowCloser::topLevelWindows(std::uint32_t root) {
    QList<std::uint32_t> windows;
    // A window manager lists its clients; the root's children add the
    // windows of a desktop without one, or of one that died and left its
    // list behind.
    if (m_x.atom(ClientList) != XCB_ATOM_NONE) {
        const auto cookie =
            xcb_get_property(m_x.get(), 0, root, m_x.atom(ClientList), XCB_ATOM_WINDOW, 0, 1 << 16);
        Freed<xcb_get_property_reply_t> reply{xcb_get_property_reply(m_x.get(), cookie, nullptr)};
        if (reply && reply->format == 32) {
            const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
            windows = QList<std::uint32_t>(ids, ids + reply->value_len);
        }
    }
    Freed<xcb_query_tree_reply_t> tree{
        xcb_query_tree_reply(m_x.get(), xcb_query_tree(m_x.get(), root), nullptr)};
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            if (!windows.contains(children[i]))
                windows << children[i];
        }
    }
    return windows;
}

int X11WindowCloser::requestClose(const QList<qint64>& pids) {
    if (pids.isEmpty() || m_x.connect() == nullptr || m_x.atom(WmPid) == XCB_ATOM_NONE ||
        m_x.atom(WmDeleteWindow) == XCB_ATOM_NONE)
        return 0;
    int sent = 0;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(m_x.get())); screens.rem;
         xcb_screen_next(&screens)) {
        const QList<std::uint32_t> windows = topLevelWindows(screens.data->root);
        // Ask for every window's PID at once, then read the answers.
        QList<xcb_get_property_cookie_t> pidCookies;
        pidCookies.reserve(windows.size());
        for (const std::uint32_t window : windows)
            pidCookies << xcb_get_property(m_x.get(), 0, window, m_x.atom(WmPid), XCB_ATOM_CARDINAL,
                                           0, 1);
        QList<std::uint32_t> owned;
        for (qsizetype i = 0; i < windows.size(); ++i) {
            Freed<xcb_get_property_reply_t> reply{
                xcb_get_property_reply(m_x.get(), pidCookies[i], nullptr)};
            if (!reply || reply->format != 32 || reply->value_len != 1)
                continue;
            const auto pid =
                *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
            if (pids.contains(qint64(pid)))
                owned << windows[i];
        }
        for (const std::uint32_t window : owned) {
            const auto cookie =
                xcb_get_property(m_x.get(), 0, window, m_x.atom(WmProtocols), XCB_ATOM_ATOM, 0, 64);
            Freed<xcb_get_property_reply_t> reply{
                xcb_get_property_reply(m_x.get(), cookie, nullptr)};
            if (!reply || reply->format != 32)
                continue;
            const auto* protocols =
                static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
            const int count = xcb_get_property_value_length(reply.get()) / 4;
            if (std::find(protocols, protocols + count, m_x.atom(WmDeleteWindow)) ==
                protocols + count)
                continue;
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = window;
            event.type = m_x.atom(WmProtocols);
            event.data.data32[0] = m_x.atom(WmDeleteWindow);
            event.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(m_x.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
                           reinterpret_cast<const char*>(&event));
            ++sent;
        }
    }
    xcb_flush(m_x.get());
    return sent;
}
