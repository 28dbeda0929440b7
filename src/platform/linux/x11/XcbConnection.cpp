#include "platform/linux/x11/XcbConnection.h"

#include "platform/linux/x11/XcbAtoms.h"

#include <xcb/xcb.h>

namespace {

constexpr qint64 retryAfterMs = 5000;

} // namespace

XcbConnection::XcbConnection(QByteArray displayName, std::initializer_list<const char*> atomNames)
    : m_displayName(std::move(displayName)), m_atomNames(atomNames.begin(), atomNames.end()) {}

XcbConnection::~XcbConnection() {
    disconnect();
}

void XcbConnection::disconnect() {
    if (m_connection != nullptr)
        xcb_disconnect(m_connection);
    m_connection = nullptr;
    m_atoms.clear();
}

int XcbConnection::descriptor() const {
    return m_connection != nullptr ? xcb_get_file_descriptor(m_connection) : -1;
}

bool XcbConnection::dropIfBroken() {
    if (m_connection == nullptr || xcb_connection_has_error(m_connection) == 0)
        return false;
    disconnect();
    m_sinceFailure.start();
    return true;
}

xcb_connection_t* XcbConnection::connect(bool* fresh) {
    if (fresh != nullptr)
        *fresh = false;
    if (m_connection != nullptr && xcb_connection_has_error(m_connection) == 0)
        return m_connection;
    disconnect();
    if (m_displayName.isEmpty() ||
        (m_sinceFailure.isValid() && m_sinceFailure.elapsed() < retryAfterMs))
        return nullptr;
    m_connection = xcb_connect(m_displayName.constData(), nullptr);
    if (xcb_connection_has_error(m_connection) != 0) {
        disconnect();
        m_sinceFailure.start();
        return nullptr;
    }
    m_sinceFailure.invalidate();
    m_atoms = XcbAtoms::intern(m_connection, m_atomNames);
    if (fresh != nullptr)
        *fresh = true;
    return m_connection;
}
