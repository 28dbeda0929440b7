#include "platform/linux/x11/XcbAtoms.h"

#include "platform/linux/x11/XcbReply.h"

#include <xcb/xcb.h>

#include <cstring>

QList<std::uint32_t> XcbAtoms::intern(xcb_connection_t* connection,
                                      const QList<const char*>& names) {
    QList<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(names.size());
    for (const char* name : names)
        cookies << xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name);
    QList<std::uint32_t> atoms;
    atoms.reserve(names.size());
    for (const xcb_intern_atom_cookie_t& cookie : std::as_const(cookies)) {
        const Freed<xcb_intern_atom_reply_t> reply{
            xcb_intern_atom_reply(connection, cookie, nullptr)};
        atoms << (reply ? reply->atom : std::uint32_t(XCB_ATOM_NONE));
    }
    return atoms;
}

std::uint32_t XcbAtoms::intern(xcb_connection_t* connection, const char* name) {
    return intern(connection, QList<const char*>{name}).constFirst();
}
