#pragma once

#include "input/keyboard_device.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace tonmiro::input::tests {

// Drives a KeyboardDevice through a script of samples separated by '|'. Each step lists the
// codes that are physically down at that sample, comma-separated, optionally after:
//   '-'   the window is deactivated before the step (acquire(false)),
//   '+'   the window is activated before the step (acquire(true)); several may follow each other,
//   'tN'  as a code: key N goes down and up again between the two samples.
// onChange is called for every reported change; after each step onStepEnd is called.
inline void runSampleScript(KeyboardDevice& device, const QString& script,
                            const std::function<void(KeyChange)>& onChange,
                            const std::function<void()>& onStepEnd) {
    for (QString step : script.split(u'|')) {
        while (step.startsWith(u'-') || step.startsWith(u'+')) {
            device.acquire(step.front() == u'+');
            step.remove(0, 1);
        }
        bool down[kLastKeyCode + 1] = {};
        for (const QString& item : step.split(u',', Qt::SkipEmptyParts)) {
            if (item.startsWith(u't')) {
                const auto code = static_cast<KeyCode>(item.mid(1).toInt());
                device.setKeyDown(code, true);
                device.setKeyDown(code, false);
            } else {
                down[item.toInt()] = true;
            }
        }
        for (int code = kFirstKeyCode; code <= kLastKeyCode; ++code) {
            if (down[code]) {
                device.setKeyDown(static_cast<KeyCode>(code), true);
            }
        }
        for (int code = kFirstKeyCode; code <= kLastKeyCode; ++code) {
            if (!down[code]) {
                device.setKeyDown(static_cast<KeyCode>(code), false);
            }
        }
        for (const KeyChange& change : device.sample()) {
            onChange(change);
        }
        onStepEnd();
    }
}

} // namespace tonmiro::input::tests
