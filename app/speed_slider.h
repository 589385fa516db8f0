#pragma once

#include <QSlider>

namespace tonmiro::app {

// A horizontal slider whose position holds any written value in 0..32767, while the thumb shows
// it held within the slider's range. The speed slider's position is the length of a TimeUnit in
// ms, and a tempo marker may ask for one the thumb cannot show (240 bpm: 31 ms, thumb at 36).
// UI thread only.
class SpeedSlider : public QSlider {
    Q_OBJECT
public:
    explicit SpeedSlider(QWidget* parent = nullptr);

    int position() const { return m_position; }
    // Stores min(max(v, 0), 32767) and moves the thumb; raises no moved() signal.
    void setPosition(int v);

signals:
    // The user moved the thumb (drag, arrow or page keys, a click beside the thumb), once per step.
    void moved(int position);

private:
    int m_position = 0;
    bool m_writing = false;
};

} // namespace tonmiro::app
