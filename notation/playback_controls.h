#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace tonmiro::notation {

// Everything PlaybackLoop reads and writes. In the program an adapter carries each call over to
// the UI thread and blocks until it is served; once a stop has been requested every call returns
// at once (with a neutral value) without touching any control. In tests a fake records the calls.
// All calls are made from the playback thread only.
class PlaybackControls {
public:
    virtual ~PlaybackControls() = default;

    // The play toggle (选择框播放).
    virtual bool toggleChecked() = 0;
    virtual void setToggleChecked(bool checked) = 0;
    virtual void setToggleCaption(const QString& caption) = 0;

    // The score edit box (编辑框1), in bytes of the GBK text, with the stored start/length model.
    virtual QByteArray selectedText() = 0;
    virtual qsizetype selectionStart() = 0;
    virtual void setSelectionStart(qsizetype start) = 0;
    virtual void setSelectionLength(qsizetype length) = 0;
    virtual qsizetype textLength() = 0;

    // The speed slider (滑块条速度): its stored position, the length of a TimeUnit in ms.
    virtual int speedPosition() = 0;
    virtual void setSpeedPosition(int position) = 0;

    // Starts sample 1..26 and returns at once.
    virtual void playSample(int sample) = 0;

    // Waits the given number of microseconds; returns early when a stop is requested.
    virtual void wait(qint64 microseconds) = 0;

    // Called on a turn that found the toggle up, before the next turn. The program blocks here
    // until the toggle may have changed (or a stop), so an idle loop costs nothing; a fake returns.
    virtual void idle() = 0;
};

} // namespace tonmiro::notation
