#include "sourceverdict.h"

#include <QString>

namespace SourceFailures {

SourceFailure fromLoadError(int code)
{
    if (code >= 400 && code < 500)
        return SourceFailure::ClientError;
    if (code > 0)
        return SourceFailure::ServerError;
    switch (code) {
    case -7: // timed out
    case -118: // connection timed out
        return SourceFailure::Silence;
    case -102: // connection refused
    case -104: // connection failed
    case -105: // name not resolved
    case -109: // address unreachable
    case -137: // name resolution failed
    case -312: // unsafe port: never asked at all
    case -107: // TLS protocol error
    case -113: // TLS version or cipher mismatch
        return SourceFailure::Unreachable;
    default:
        break;
    }
    // Certificate errors: the page rejects every one.
    if (code <= -200 && code > -300)
        return SourceFailure::Unreachable;
    return SourceFailure::ServerError;
}

SourceFailure fromPage(QStringView what)
{
    if (what == u"unreachable")
        return SourceFailure::Unreachable;
    if (what == u"timeout")
        return SourceFailure::Silence;
    if (what == u"format")
        return SourceFailure::Undecodable;
    bool isStatus = false;
    const int status = what.toString().toInt(&isStatus);
    return isStatus && status > 0 ? fromLoadError(status) : SourceFailure::ServerError;
}

SourceStep step(SourceFailure failure, const SourceHistory &history)
{
    // What played once gets the reconnection it always had; another row of
    // the channel takes over after a while, which is the guide's to time.
    if (history.played)
        return SourceStep::Reconnect;
    switch (failure) {
    case SourceFailure::Undecodable:
        return SourceStep::Judge;
    case SourceFailure::Unreachable:
    case SourceFailure::ClientError:
        // One quick retry, in case it was a blip.
        return history.failures >= 2 ? SourceStep::Judge : SourceStep::Retry;
    case SourceFailure::ServerError:
    case SourceFailure::Silence:
        break;
    }
    return history.pastFirstPicture ? SourceStep::Judge : SourceStep::Retry;
}

} // namespace SourceFailures
