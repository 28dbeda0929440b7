#pragma once

#include <QList>

#include <cstdint>
#include <initializer_list>

struct xcb_connection_t;

// Interns atoms by name: all requests first, then the answers, one round
// trip in all. An atom the server has none for, or could not answer for,
// is XCB_ATOM_NONE.
class XcbAtoms {
public:
    static QList<std::uint32_t> intern(xcb_connection_t* connection,
                                       const QList<const char*>& names);
    static std::uint32_t intern(xcb_connection_t* connection, const char* name);
};
