#include "ui/linux/X11Activation.h"

#include "platform/linux/x11/XcbAtoms.h"
#include "platform/linux/x11/XcbReply.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

namespace {

bool windowManagerRuns(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t check) {
    const auto cookie = xcb_get_property(connection, 0, root, check, XCB_ATOM_WINDOW, 0, 1);
    const Freed<xcb_get_property_reply_t> reply{
        xcb_get_property_reply(connection, cookie, nullptr)};
    return reply && xcb_get_property_value_length(reply.get()) > 0;
}

} // namespace

void X11Activation::activate(const QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (connection == nullptr || !window.isWindow())
        return;
    const auto target = xcb_window_t(window.winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const QList<std::uint32_t> atoms =
        XcbAtoms::intern(connection, {"_NET_SUPPORTING_WM_CHECK", "_NET_ACTIVE_WINDOW"});
    if (windowManagerRuns(connection, root, atoms[0])) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = target;
        event.type = atoms[1];
        // From an application, at the server's current time.
        event.data.data32[0] = 1;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    } else {
        xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, target, XCB_CURRENT_TIME);
    }
    xcb_flush(connection);
}
