// libFuzzer target for one reader of network bytes, named when it is built.

#include "streamchecks.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(
        reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString problem = StreamChecks::FUZZ_CHECK(bytes);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", FUZZ_NAME, qPrintable(problem));
        std::abort();
    }
    return 0;
}
