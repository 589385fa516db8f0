#include "app/playback_bridge.h"

#include "app/main_window.h"
#include "app/score_edit.h"
#include "app/speed_slider.h"
#include "notation/playback_loop.h"
#include "sound/sound_device.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>

#include <chrono>
#include <memory>
#include <type_traits>

namespace tonmiro::app {

namespace {

// One request from the playback thread, answered on the UI thread.
template <class R> struct Request {
    std::atomic<bool> done{false};
    R value{};
};

template <> struct Request<void> { std::atomic<bool> done{false}; };

// The UI thread serves a request within microseconds once it runs; a requester that waits this
// long before going to sleep saves a thread wake-up on most requests of a playback step.
constexpr auto kAnswerSpin = std::chrono::microseconds(200);

const QEvent::Type kServeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// An idle playback thread also looks at the toggle this often, in case a change was missed.
constexpr auto kIdlePoll = std::chrono::milliseconds(250);

} // namespace

PlaybackBridge::PlaybackBridge(MainWindow& window) : m_window(window), m_uiContext(*this) {}

PlaybackBridge::~PlaybackBridge() {
    stop();
}

void PlaybackBridge::start() {
    if (m_thread.joinable() || m_stopping) {
        return;
    }
    m_thread = std::jthread([this](std::stop_token stop) {
        m_stop = stop;
        notation::PlaybackLoop loop(*this);
        loop.run(std::move(stop));
    });
}

void PlaybackBridge::stop() {
    m_stopping = true; // from here on no posted request touches a control
    if (m_thread.joinable()) {
        m_thread.request_stop(); // wakes the wait and any blocked request
        m_thread.join();
    }
}

void PlaybackBridge::toggleChanged() {
    {
        std::lock_guard lock(m_mutex);
        ++m_toggleGeneration;
    }
    m_wake.notify_all();
}

template <class F> auto PlaybackBridge::onUiThread(F&& f) -> decltype(f()) {
    using R = decltype(f());
    if (m_stop.stop_requested()) {
        return R();
    }
    auto request = std::make_shared<Request<R>>();
    {
        // The request travels in a slot of our own, under our own lock, and the posted event
        // only says "serve it": the hand-over is then visible to the thread checker, which
        // cannot see inside Qt's event queue.
        std::lock_guard lock(m_mutex);
        m_pending = [this, request, fn = std::forward<F>(f)]() mutable {
            if constexpr (std::is_void_v<R>) {
                fn();
            } else {
                R value = fn();
                std::lock_guard valueLock(m_mutex);
                request->value = std::move(value);
            }
            {
                std::lock_guard doneLock(m_mutex);
                request->done.store(true, std::memory_order_release);
            }
            m_wake.notify_all();
        };
    }
    QCoreApplication::postEvent(&m_uiContext, new QEvent(kServeEvent));
    const auto spinUntil = std::chrono::steady_clock::now() + kAnswerSpin;
    while (!request->done.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < spinUntil) {
        std::this_thread::yield();
    }
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, m_stop, [&] { return request->done.load(std::memory_order_acquire); });
    if constexpr (!std::is_void_v<R>) {
        return request->done.load(std::memory_order_acquire) ? request->value : R();
    }
}

void PlaybackBridge::serve() {
    std::function<void()> pending;
    {
        std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
    }
    if (pending && !m_stopping) { // once shutdown has begun the controls are no longer ours
        pending();
    }
}

bool PlaybackBridge::UiContext::event(QEvent* event) {
    if (event->type() == kServeEvent) {
        m_bridge.serve();
        return true;
    }
    return QObject::event(event);
}

bool PlaybackBridge::toggleChecked() {
    const auto [checked, generation] = onUiThread(
        [this] { return std::pair(m_window.playToggle()->isChecked(), m_toggleGeneration.load()); });
    m_seenGeneration = generation;
    return checked;
}

void PlaybackBridge::setToggleChecked(bool checked) {
    onUiThread([this, checked] { m_window.playToggle()->setChecked(checked); });
}

void PlaybackBridge::setToggleCaption(const QString& caption) {
    onUiThread([this, caption] { m_window.playToggle()->setText(caption); });
}

QByteArray PlaybackBridge::selectedText() {
    return onUiThread([this] { return m_window.scoreEdit()->selectedText(); });
}

qsizetype PlaybackBridge::selectionStart() {
    return onUiThread([this] { return m_window.scoreEdit()->selectionStart(); });
}

void PlaybackBridge::setSelectionStart(qsizetype start) {
    onUiThread([this, start] { m_window.scoreEdit()->setSelectionStart(start); });
}

void PlaybackBridge::setSelectionLength(qsizetype length) {
    onUiThread([this, length] { m_window.scoreEdit()->setSelectionLength(length); });
}

qsizetype PlaybackBridge::textLength() {
    return onUiThread([this] { return m_window.scoreEdit()->textLength(); });
}

int PlaybackBridge::speedPosition() {
    return onUiThread([this] { return m_window.speedSlider()->position(); });
}

void PlaybackBridge::setSpeedPosition(int position) {
    onUiThread([this, position] { m_window.speedSlider()->setPosition(position); });
}

void PlaybackBridge::playSample(int sample) {
    // Starting a sample is thread-safe and returns at once: no trip to the UI thread.
    if (!m_stop.stop_requested()) {
        m_window.soundDevice().playSample(sample);
    }
}

void PlaybackBridge::wait(qint64 microseconds) {
    // Measured against the steady clock from the moment the wait begins; returns at once on stop.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    std::unique_lock lock(m_mutex);
    m_wake.wait_until(lock, m_stop, deadline, [] { return false; });
}

void PlaybackBridge::idle() {
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, m_stop, kIdlePoll,
                    [this] { return m_toggleGeneration.load() != m_seenGeneration; });
}

} // namespace tonmiro::app
