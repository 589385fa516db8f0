#pragma once

#include "notation/playback_controls.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace tonmiro::app {

class MainWindow;

// Runs PlaybackLoop on the playback thread and carries each of its control accesses over to the
// UI thread, blocking until it has been served there. Once stop() has begun, every access and
// every wait returns at once with a neutral value, and no control is touched any more, so
// shutdown never waits for a token's time to run out and never deadlocks.
//
// Construction, start(), stop(), toggleChanged() and destruction: UI thread. The
// PlaybackControls functions: the playback thread only.
class PlaybackBridge final : public notation::PlaybackControls {
public:
    explicit PlaybackBridge(MainWindow& window);
    ~PlaybackBridge() override;
    PlaybackBridge(const PlaybackBridge&) = delete;
    PlaybackBridge& operator=(const PlaybackBridge&) = delete;

    void start();
    // Ends the playback thread at whatever point it has reached and joins it. Idempotent.
    void stop();
    bool isRunning() const { return m_thread.joinable(); }

    // The play toggle changed: wakes an idle playback thread at once.
    void toggleChanged();

    bool toggleChecked() override;
    void setToggleChecked(bool checked) override;
    void setToggleCaption(const QString& caption) override;
    QByteArray selectedText() override;
    qsizetype selectionStart() override;
    void setSelectionStart(qsizetype start) override;
    void setSelectionLength(qsizetype length) override;
    qsizetype textLength() override;
    int speedPosition() override;
    void setSpeedPosition(int position) override;
    void playSample(int sample) override;
    void wait(qint64 microseconds) override;
    void idle() override;

private:
    // Runs f on the UI thread and returns its result; R{} once a stop has been requested.
    template <class F> auto onUiThread(F&& f) -> decltype(f());
    // UI thread: runs the pending request, unless shutdown has begun.
    void serve();

    // Receives the "serve" events on the UI thread; requests posted to it die with it.
    class UiContext : public QObject {
    public:
        explicit UiContext(PlaybackBridge& bridge) : m_bridge(bridge) {}
        bool event(QEvent* event) override;

    private:
        PlaybackBridge& m_bridge;
    };

    MainWindow& m_window;
    UiContext m_uiContext;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::function<void()> m_pending; // the request waiting for the UI thread, under m_mutex
    std::atomic<std::uint64_t> m_toggleGeneration{0};
    std::uint64_t m_seenGeneration = 0; // playback thread only
    std::stop_token m_stop;             // playback thread only: the running loop's token
    std::jthread m_thread;
};

} // namespace tonmiro::app
