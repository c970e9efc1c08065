#pragma once

class QWidget;

namespace kqc {

// Asks the window manager to give window no task-bar entry of its own, where the platform lets a
// program ask: on X11 the _NET_WM_STATE_SKIP_TASKBAR state, set on the native window before it is
// mapped; elsewhere nothing. The window's frame and flags stay as they are.
void KeepOutOfTaskBar(QWidget& window);

}  // namespace kqc
