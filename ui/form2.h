#pragma once

#include <QPointer>
#include <QWidget>

namespace kqc {

// The codec information window: a fixed chart of the codec, sampling rate, resolution, channel,
// bit rate and format combinations the transcoder accepts. Pure reference; it holds no state.
class Form2 : public QWidget {
    Q_OBJECT

public:
    // Shows the window modeless and without an owner, loading it afresh when it is not open;
    // when it is open, only brings it back to the front. Returns at once.
    static void showSingleInstance();
    // The open window, or nullptr when it is not loaded.
    static Form2* openInstance();

private:
    Form2();

    static QPointer<Form2> s_instance;
};

}  // namespace kqc
