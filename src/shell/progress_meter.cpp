#include "progress_meter.hpp"

#include <algorithm>
#include <string>

#include "text/numtext.hpp"

namespace qtx {

namespace {

QString number(qint64 value) {
    return QString::fromStdString(formatPattern(static_cast<double>(value), "0"));
}

}  // namespace

std::optional<ProgressMeter::Shown> ProgressMeter::update(const Progress& progress, qint64 nowMs) {
    const bool first =
        !running || progress.kind != kind || progress.buffer != buffer || progress.done < startDone;
    if (first) {
        running = true;
        kind = progress.kind;
        buffer = progress.buffer;
        startMs = nowMs;
        startDone = progress.done;
    }
    // Each update costs the shell a repaint or a line of output, which would delay the next
    // request; a few a second are all an eye can follow.
    if (!first && progress.repeats == repeatsShown && progress.done < progress.total &&
        nowMs - shownAtMs < periodMs) {
        return std::nullopt;
    }
    shownAtMs = nowMs;
    repeatsShown = progress.repeats;

    Shown shown;
    shown.total = std::max(progress.total, 1);
    shown.done = std::clamp(progress.done, 0, shown.total);
    if (progress.kind == Progress::Kind::Pages) {
        shown.text =
            QStringLiteral("Page %1 of %2").arg(number(progress.done), number(progress.total));
    } else if (progress.images > 0) {
        shown.text =
            QStringLiteral("Buffer %1, image %2 of %3: row %4 of %5")
                .arg(number(progress.buffer), number(progress.image), number(progress.images),
                     number(progress.done), number(progress.total));
    } else {
        shown.text =
            QStringLiteral("Row %1 of %2").arg(number(progress.done), number(progress.total));
    }
    if (progress.repeats > 0) {
        shown.text += QStringLiteral(", %1 repeated").arg(number(progress.repeats));
    }
    // The rate of this transfer so far, from its first progress report on.
    const qint64 elapsedMs = nowMs - startMs;
    const int doneSince = shown.done - startDone;
    if (doneSince > 0 && elapsedMs > 0) {
        const qint64 leftMs = static_cast<qint64>(shown.total - shown.done) * elapsedMs / doneSince;
        shown.text += QStringLiteral(", about %1 s left").arg(number((leftMs + 999) / 1000));
    }
    return shown;
}

}  // namespace qtx
