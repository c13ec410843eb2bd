#pragma once

#include <QStringView>

// Why a source (one channel row's address) failed once.
enum class SourceFailure {
    Unreachable, // refused, no such host, a TLS failure: it will not heal in a second
    ClientError, // an HTTP 4xx answer: the same
    ServerError, // an HTTP 5xx answer, or a connection that broke: it may heal
    Silence, // nothing came in time
    Undecodable, // the engine cannot decode what came
};

// What is done about it.
enum class SourceStep {
    Retry, // never played: try again, still connecting
    Judge, // the source has failed: the verdict is shown, the channel's next row tried
    Reconnect, // it played before: reconnect with growing pauses
};

struct SourceHistory {
    bool played = false; // it has shown a picture since it was asked for
    int failures = 1; // failures since it was asked for, this one included
    bool pastFirstPicture = false; // asked for longer ago than StreamTimings::firstPicture
};

namespace SourceFailures {

// A failed load as the engine reports it: an HTTP status (positive) or one of
// Chromium's network errors (negative).
SourceFailure fromLoadError(int code);

// A failure as the stream page reports it: "unreachable" (no answer at
// all), "timeout", "format", or an HTTP status.
SourceFailure fromPage(QStringView what);

SourceStep step(SourceFailure failure, const SourceHistory &history);

} // namespace SourceFailures
