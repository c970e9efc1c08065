#include "ui/taskbar_hint.h"

#include <QWidget>

#ifdef KQC_HAVE_XCB
#include <QGuiApplication>
#if QT_CONFIG(xcb)
#define KQC_X11_HINT 1
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif
#endif

namespace kqc {

#ifdef KQC_X11_HINT
namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

bool hasState(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t state,
              xcb_atom_t wanted) {
    const auto cookie = xcb_get_property(connection, 0, window, state, XCB_ATOM_ATOM, 0, 1024);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    bool found = false;
    if (reply && reply->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t));
        for (int i = 0; i < count && !found; ++i) found = atoms[i] == wanted;
    }
    std::free(reply);
    return found;
}

}  // namespace

// Before the first map a client sets _NET_WM_STATE itself; Qt merges its own states into what it
// finds there when it maps the window, so the entry survives the show.
void KeepOutOfTaskBar(QWidget& window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return;  // not on X11 (offscreen, Wayland)
    xcb_connection_t* connection = x11->connection();
    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE) return;
    const auto id = xcb_window_t(window.winId());
    if (hasState(connection, id, state, skipTaskbar)) return;
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 1,
                        &skipTaskbar);
    xcb_flush(connection);
}
#else
void KeepOutOfTaskBar(QWidget&) {}
#endif

}  // namespace kqc
