#include "platform/linux/x11/X11WindowCloser.h"

#include "platform/linux/x11/X11WindowDirectory.h"
#include "platform/linux/x11/XcbReply.h"

#include <xcb/xcb.h>

#include <algorithm>

X11WindowCloser::X11WindowCloser(X11WindowDirectory& windows) : m_windows(windows) {}

int X11WindowCloser::requestClose(const QList<qint64>& pids) {
    using Atom = X11WindowDirectory::Atom;
    if (pids.isEmpty())
        return 0;
    QList<std::uint32_t> owned;
    for (const X11WindowDirectory::Client& client : m_windows.clients()) {
        if (pids.contains(client.pid))
            owned << client.window;
    }
    xcb_connection_t* const x = m_windows.connection();
    const std::uint32_t protocolsAtom = m_windows.atom(Atom::WmProtocols);
    const std::uint32_t deleteAtom = m_windows.atom(Atom::WmDeleteWindow);
    if (owned.isEmpty() || x == nullptr || deleteAtom == XCB_ATOM_NONE)
        return 0;
    // Ask for every window's protocols at once, then read the answers.
    QList<xcb_get_property_cookie_t> cookies;
    cookies.reserve(owned.size());
    for (const std::uint32_t window : std::as_const(owned))
        cookies << xcb_get_property(x, 0, window, protocolsAtom, XCB_ATOM_ATOM, 0, 64);
    int sent = 0;
    for (qsizetype i = 0; i < owned.size(); ++i) {
        Freed<xcb_get_property_reply_t> reply{xcb_get_property_reply(x, cookies[i], nullptr)};
        if (!reply || reply->format != 32)
            continue;
        const auto* protocols = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        if (std::find(protocols, protocols + count, deleteAtom) == protocols + count)
            continue;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = owned[i];
        event.type = protocolsAtom;
        event.data.data32[0] = deleteAtom;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(x, 0, owned[i], XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
        ++sent;
    }
    xcb_flush(x);
    return sent;
}
