#include "platform/linux/x11/X11WindowDirectory.h"
#include "platform/linux/x11/XcbReply.h"

#include <QSet>

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// Window managers put a client at most this deep below its frame.
constexpr int frameDepth = 3;

Freed<xcb_get_property_reply_t> propertyReply(xcb_connection_t* c, xcb_get_property_cookie_t k) {
    return Freed<xcb_get_property_reply_t>(xcb_get_property_reply(c, k, nullptr));
}

QByteArray propertyBytes(const Freed<xcb_get_property_reply_t>& reply) {
    if (!reply || reply->format != 8)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

} // namespace

// In the order of Atom.
X11WindowDirectory::X11WindowDirectory(QByteArray displayName)
    : m_x(std::move(displayName),
          {"_NET_CLIENT_LIST", "_NET_WM_PID", "WM_STATE", "_GTK_APPLICATION_ID", "UTF8_STRING",
           "WM_PROTOCOLS", "WM_DELETE_WINDOW"}) {}

X11WindowDirectory::~X11WindowDirectory() = default;

void X11WindowDirectory::forget() {
    m_pids.clear();
    m_clientOfRootChild.clear();
    m_names.clear();
}

bool X11WindowDirectory::connect() {
    bool fresh = false;
    xcb_connection_t* const connection = m_x.connect(&fresh);
    if (!fresh)
        return connection != nullptr;
    // What was learnt on another connection may name other windows now.
    forget();
    m_changed = true;
    m_resourceMask = xcb_get_setup(connection)->resource_id_mask;

    // XRes names the process behind the connection; _NET_WM_PID is only
    // what the client says, a sandbox's own PID for sandboxed ones.
    m_hasXRes = false;
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(connection, &xcb_res_id);
    if (res != nullptr && res->present) {
        Freed<xcb_res_query_version_reply_t> version{xcb_res_query_version_reply(
            connection, xcb_res_query_version(connection, 1, 2), nullptr)};
        m_hasXRes = version && (version->server_major > 1 ||
                                (version->server_major == 1 && version->server_minor >= 2));
    }

    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection)); screens.rem;
         xcb_screen_next(&screens))
        xcb_change_window_attributes(connection, screens.data->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    return true;
}

bool X11WindowDirectory::takeChanges() {
    if (m_x.get() == nullptr && !connect())
        return false;
    readEvents();
    return std::exchange(m_changed, false);
}

int X11WindowDirectory::eventDescriptor() {
    if (m_x.get() == nullptr && !connect())
        return -1;
    return m_x.descriptor();
}

bool X11WindowDirectory::readEvents() {
    if (m_x.get() == nullptr)
        return false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_x.get())) {
        const auto type = event->response_type & 0x7f;
        // Moves, restacking and other properties say nothing about new windows.
        if (type == XCB_MAP_NOTIFY || type == XCB_REPARENT_NOTIFY)
            m_changed = true;
        else if (type == XCB_PROPERTY_NOTIFY &&
                 reinterpret_cast<xcb_property_notify_event_t*>(event)->atom ==
                     atom(Atom::ClientList))
            m_changed = true;
        std::free(event);
    }
    if (m_x.dropIfBroken()) {
        forget();
        m_changed = false;
    }
    return m_changed;
}

QList<std::uint32_t> X11WindowDirectory::listedClients(std::uint32_t root) {
    if (atom(Atom::ClientList) == XCB_ATOM_NONE)
        return {};
    const auto reply =
        propertyReply(m_x.get(), xcb_get_property(m_x.get(), 0, root, atom(Atom::ClientList),
                                                  XCB_ATOM_WINDOW, 0, 1 << 16));
    if (!reply || reply->format != 32)
        return {};
    const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    return QList<std::uint32_t>(ids, ids + reply->value_len);
}

std::uint32_t X11WindowDirectory::clientBelow(std::uint32_t frame) {
    // Breadth first, as a frame may hold decorations beside the client.
    QList<std::uint32_t> level{frame};
    for (int depth = 0; depth < frameDepth && !level.isEmpty(); ++depth) {
        QList<xcb_query_tree_cookie_t> trees;
        for (const std::uint32_t window : level)
            trees << xcb_query_tree(m_x.get(), window);
        QList<std::uint32_t> children;
        for (const auto& cookie : trees) {
            Freed<xcb_query_tree_reply_t> tree{xcb_query_tree_reply(m_x.get(), cookie, nullptr)};
            if (tree) {
                const xcb_window_t* ids = xcb_query_tree_children(tree.get());
                children +=
                    QList<std::uint32_t>(ids, ids + xcb_query_tree_children_length(tree.get()));
            }
        }
        QList<xcb_get_property_cookie_t> states;
        for (const std::uint32_t child : children)
            states << xcb_get_property(m_x.get(), 0, child, atom(Atom::WmState), XCB_ATOM_ANY, 0,
                                       0);
        std::uint32_t found = 0;
        for (qsizetype i = 0; i < children.size(); ++i) {
            const auto reply = propertyReply(m_x.get(), states[i]);
            if (found == 0 && reply && reply->type != XCB_ATOM_NONE)
                found = children[i];
        }
        if (found != 0)
            return found;
        level = children;
    }
    return 0;
}

QList<std::uint32_t> X11WindowDirectory::walkedClients(std::uint32_t root) {
    Freed<xcb_query_tree_reply_t> tree{
        xcb_query_tree_reply(m_x.get(), xcb_query_tree(m_x.get(), root), nullptr)};
    if (!tree)
        return {};
    const xcb_window_t* ids = xcb_query_tree_children(tree.get());
    const QList<std::uint32_t> children(ids, ids + xcb_query_tree_children_length(tree.get()));
    QList<std::uint32_t> unknown;
    for (const std::uint32_t child : children) {
        if (!m_clientOfRootChild.contains(child))
            unknown << child;
    }
    QList<xcb_get_window_attributes_cookie_t> attributes;
    QList<xcb_get_property_cookie_t> states;
    for (const std::uint32_t window : unknown) {
        attributes << xcb_get_window_attributes(m_x.get(), window);
        states << xcb_get_property(m_x.get(), 0, window, atom(Atom::WmState), XCB_ATOM_ANY, 0, 0);
    }
    for (qsizetype i = 0; i < unknown.size(); ++i) {
        Freed<xcb_get_window_attributes_reply_t> attrs{
            xcb_get_window_attributes_reply(m_x.get(), attributes[i], nullptr)};
        const auto state = propertyReply(m_x.get(), states[i]);
        if (state && state->type != XCB_ATOM_NONE) {
            m_clientOfRootChild.insert(unknown[i], unknown[i]);
        } else if (attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE &&
                   !attrs->override_redirect) {
            // A frame holds its client; a window without a window manager
            // is its own client. Unmapped ones are looked at again later.
            const std::uint32_t client = clientBelow(unknown[i]);
            m_clientOfRootChild.insert(unknown[i], client != 0 ? client : unknown[i]);
        }
    }
    const QSet<std::uint32_t> present(children.cbegin(), children.cend());
    m_clientOfRootChild.removeIf([&](const auto& it) { return !present.contains(it.key()); });
    QList<std::uint32_t> out;
    for (const std::uint32_t child : children) {
        if (const std::uint32_t client = m_clientOfRootChild.value(child))
            out << client;
    }
    return out;
}

void X11WindowDirectory::learnPids(const QList<std::uint32_t>& windows) {
    QList<std::uint32_t> unknown;
    for (const std::uint32_t window : windows) {
        if (!m_pids.contains(window))
            unknown << window;
    }
    if (unknown.isEmpty())
        return;
    if (m_hasXRes) {
        QList<xcb_res_client_id_spec_t> asked;
        for (const std::uint32_t window : unknown)
            asked << xcb_res_client_id_spec_t{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        Freed<xcb_res_query_client_ids_reply_t> reply{xcb_res_query_client_ids_reply(
            m_x.get(),
            xcb_res_query_client_ids(m_x.get(), std::uint32_t(asked.size()), asked.constData()),
            nullptr)};
        // Answers name the client by its resource base, not by the window.
        QHash<std::uint32_t, qint64> pidByClient;
        for (auto it = reply ? xcb_res_query_client_ids_ids_iterator(reply.get())
                             : xcb_res_client_id_value_iterator_t{};
             it.rem > 0; xcb_res_client_id_value_next(&it)) {
            if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
                xcb_res_client_id_value_value_length(it.data) == 1)
                pidByClient.insert(it.data->spec.client & ~m_resourceMask,
                                   *xcb_res_client_id_value_value(it.data));
        }
        for (const std::uint32_t window : unknown) {
            if (const qint64 pid = pidByClient.value(window & ~m_resourceMask))
                m_pids.insert(window, pid);
        }
        return;
    }
    QList<xcb_get_property_cookie_t> cookies;
    for (const std::uint32_t window : unknown)
        cookies << xcb_get_property(m_x.get(), 0, window, atom(Atom::WmPid), XCB_ATOM_CARDINAL, 0,
                                    1);
    for (qsizetype i = 0; i < unknown.size(); ++i) {
        const auto reply = propertyReply(m_x.get(), cookies[i]);
        if (reply && reply->format == 32 && reply->value_len == 1)
            m_pids.insert(unknown[i],
                          *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get())));
    }
}

QList<X11WindowDirectory::Client> X11WindowDirectory::clients() {
    QList<Client> out;
    if (m_x.get() == nullptr && !connect())
        return out;
    QList<std::uint32_t> windows;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(m_x.get())); screens.rem;
         xcb_screen_next(&screens)) {
        windows += listedClients(screens.data->root);
        for (const std::uint32_t window : walkedClients(screens.data->root)) {
            if (!windows.contains(window))
                windows << window;
        }
    }
    learnPids(windows);
    const QSet<std::uint32_t> present(windows.cbegin(), windows.cend());
    m_pids.removeIf([&](const auto& it) { return !present.contains(it.key()); });
    m_names.removeIf([&](const auto& it) { return !present.contains(it.key()); });
    for (const std::uint32_t window : windows) {
        if (const qint64 pid = m_pids.value(window))
            out << Client{window, pid};
    }
    return out;
}

QStringList X11WindowDirectory::names(std::uint32_t window) {
    if (const auto it = m_names.constFind(window); it != m_names.cend())
        return *it;
    if (m_x.get() == nullptr)
        return {};
    const auto appId = xcb_get_property(m_x.get(), 0, window, atom(Atom::GtkApplicationId),
                                        atom(Atom::Utf8String), 0, 256);
    const auto wmClass =
        xcb_get_property(m_x.get(), 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256);
    const QByteArray id = propertyBytes(propertyReply(m_x.get(), appId));
    const QByteArray classes = propertyBytes(propertyReply(m_x.get(), wmClass));
    QStringList names;
    if (!id.isEmpty())
        names << QString::fromUtf8(id);
    else
        for (const QByteArray& name : classes.split('\0'))
            if (!name.isEmpty())
                names << QString::fromUtf8(name);
    // Set before mapping by the book; an empty answer is asked again.
    if (!names.isEmpty())
        m_names.insert(window, names);
    return names;
}
