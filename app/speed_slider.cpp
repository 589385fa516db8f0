#include "app/speed_slider.h"

#include <algorithm>

namespace tonmiro::app {

SpeedSlider::SpeedSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    connect(this, &QSlider::valueChanged, this, [this](int value) {
        if (m_writing) {
            return;
        }
        m_position = value;
        emit moved(value);
    });
}

void SpeedSlider::setPosition(int v) {
    m_position = std::clamp(v, 0, 32767);
    m_writing = true;
    setValue(m_position); // QSlider holds the thumb within its range
    m_writing = false;
}

} // namespace tonmiro::app
