// Open and Save figures for a large score, through the real ScoreDocument of a real MainWindow
// (shown, on the offscreen platform), with the file dialog answered by a script.
//
// BM_Open: ScoreDocument::open() on a 1 MB file: read, decode, fill the edit box, caption, select
// the start. BM_OpenPainted adds the events open() leaves behind (layout and repaint of the edit
// box), which is when the user sees the score. BM_Save: ScoreDocument::save() to the path the
// document holds: encode the edit box's text and write it through QSaveFile.
//
// The pieces, to see where the time goes: BM_ReadScoreFile, BM_Decode, BM_SetText (the edit box
// only), BM_EncodeText (ScoreEdit::text()), BM_WriteScoreFile.
//
// Scores: lines of "①②③④⑤⑥⑦—" and CR LF (18 bytes a line) of 1 MB, and a 1 MB single line.
// Files go to a fresh temporary folder (TMPDIR, else /tmp). Every benchmark checks that the
// bytes came through unchanged.
//
// Run with QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy.

#include "app/main_window.h"
#include "app/score_document.h"
#include "app/score_edit.h"
#include "bench/app/bench_scores.h"
#include "notation/gbk_codec.h"
#include "notation/score_file.h"
#include "sound/sound_device.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using tonmiro::app::MainWindow;
using tonmiro::bench::linesScore;
using tonmiro::bench::singleLineScore;

namespace {

constexpr qsizetype kMiB = 1024 * 1024;

// Answers every file dialog with one path; never asked about changes by Open or Save.
struct ScriptedDialogs final : tonmiro::app::DocumentDialogs {
    QString path;
    std::optional<QString> askSavePath(const QString&) override { return path; }
    std::optional<QString> askOpenPath(const QString&) override { return path; }
    Answer askSaveChanges() override { return Answer::No; }
};

struct Program {
    ScriptedDialogs dialogs;
    tonmiro::sound::SoundDevice sound;
    MainWindow window{sound, &dialogs};
};

void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The two scores, written once into the temporary folder.
struct Files {
    QTemporaryDir dir;
    QByteArray lines = linesScore(kMiB);
    QByteArray single = singleLineScore(kMiB);
    QString linesPath = dir.filePath(QStringLiteral("lines.txt"));
    QString singlePath = dir.filePath(QStringLiteral("single.txt"));
    QString outPath = dir.filePath(QStringLiteral("saved.txt"));

    Files() {
        for (const auto& [path, bytes] : {std::pair{linesPath, lines}, std::pair{singlePath, single}}) {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            }
        }
    }
    const QString& path(bool singleLine) const { return singleLine ? singlePath : linesPath; }
    const QByteArray& bytes(bool singleLine) const { return singleLine ? single : lines; }
};

Files* g_files = nullptr;

std::unique_ptr<Program> shownProgram(const QString& path) {
    auto p = std::make_unique<Program>();
    p->dialogs.path = path;
    p->window.show();
    settle(50);
    return p;
}

void BM_Open(benchmark::State& state, bool singleLine, bool painted) {
    auto p = shownProgram(g_files->path(singleLine));
    for (auto _ : state) {
        p->window.document().open();
        if (painted) {
            QCoreApplication::processEvents();
        }
        state.PauseTiming();
        if (p->window.scoreEdit()->textLength() != g_files->bytes(singleLine).size()) {
            state.SkipWithError("the opened score has the wrong length");
            break;
        }
        // Something else in the box, so that every open replaces a whole score.
        p->window.scoreEdit()->setText(QByteArray("\xA2\xD9"));
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * g_files->bytes(singleLine).size());
}

void BM_Save(benchmark::State& state, bool singleLine) {
    auto p = shownProgram(g_files->path(singleLine));
    p->window.document().open();
    QCoreApplication::processEvents();
    p->dialogs.path = g_files->outPath;
    p->window.document().newScore(); // takes the new path (and empties the box) ...
    p->window.scoreEdit()->setText(g_files->bytes(singleLine)); // ... refilled: modified
    QCoreApplication::processEvents();
    // The program's own writer, watched: every save must have written the whole file.
    bool allWritten = true;
    p->window.document().setWriter([&allWritten](const QString& path, const QByteArray& bytes) {
        const bool ok = tonmiro::notation::writeScoreFile(path, bytes);
        allWritten = allWritten && ok;
        return ok;
    });
    for (auto _ : state) {
        p->window.document().save();
    }
    if (!allWritten || p->window.document().isModified()) {
        state.SkipWithError("save reported a failure");
    }
    if (tonmiro::notation::readScoreFile(g_files->outPath) != g_files->bytes(singleLine)) {
        state.SkipWithError("the saved file differs from the score");
    }
    state.SetBytesProcessed(state.iterations() * g_files->bytes(singleLine).size());
}

void BM_ReadScoreFile(benchmark::State& state, bool singleLine) {
    qsizetype size = 0;
    for (auto _ : state) {
        size = tonmiro::notation::readScoreFile(g_files->path(singleLine)).size();
    }
    if (size != g_files->bytes(singleLine).size()) {
        state.SkipWithError("short read");
    }
    state.SetBytesProcessed(state.iterations() * size);
}

void BM_Decode(benchmark::State& state, bool singleLine) {
    const QByteArray& bytes = g_files->bytes(singleLine);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tonmiro::gbk::decode(bytes));
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_SetText(benchmark::State& state, bool singleLine) {
    auto p = shownProgram(QString());
    const QByteArray& bytes = g_files->bytes(singleLine);
    for (auto _ : state) {
        p->window.scoreEdit()->setText(bytes);
        state.PauseTiming();
        p->window.scoreEdit()->setText(QByteArray("\xA2\xD9"));
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_EncodeText(benchmark::State& state, bool singleLine) {
    auto p = shownProgram(QString());
    const QByteArray& bytes = g_files->bytes(singleLine);
    p->window.scoreEdit()->setText(bytes);
    QByteArray out;
    for (auto _ : state) {
        out = p->window.scoreEdit()->text();
    }
    if (out != bytes) {
        state.SkipWithError("the edit box's text differs from the score");
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_WriteScoreFile(benchmark::State& state, bool singleLine) {
    const QByteArray& bytes = g_files->bytes(singleLine);
    for (auto _ : state) {
        if (!tonmiro::notation::writeScoreFile(g_files->outPath, bytes)) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Files files;
    if (!files.dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    g_files = &files;

    for (const bool single : {false, true}) {
        const std::string score = single ? "/single_line_1MB" : "/lines_1MB";
        const auto reg = [&](const std::string& name, auto fn) {
            benchmark::RegisterBenchmark((name + score).c_str(), fn)->Unit(benchmark::kMillisecond);
        };
        reg("BM_Open", [single](benchmark::State& s) { BM_Open(s, single, false); });
        reg("BM_OpenPainted", [single](benchmark::State& s) { BM_Open(s, single, true); });
        reg("BM_Save", [single](benchmark::State& s) { BM_Save(s, single); });
        reg("BM_ReadScoreFile", [single](benchmark::State& s) { BM_ReadScoreFile(s, single); });
        reg("BM_Decode", [single](benchmark::State& s) { BM_Decode(s, single); });
        reg("BM_SetText", [single](benchmark::State& s) { BM_SetText(s, single); });
        reg("BM_EncodeText", [single](benchmark::State& s) { BM_EncodeText(s, single); });
        reg("BM_WriteScoreFile", [single](benchmark::State& s) { BM_WriteScoreFile(s, single); });
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_files = nullptr;
    return 0;
}
