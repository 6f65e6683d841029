// Arbitrary bytes from the reader, arbitrary settings: the engine must answer,
// decode or drop, and never read or write outside its buffers.

#include "reader/ReaderProtocol.h"
#include "tests/support/ScriptedLink.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pelvaro;
    FuzzedDataProvider input(data, size);
    test::ScriptedLink link;
    test::RecordingBinding binding;
    binding.length = input.ConsumeIntegral<int>();
    binding.hitag = input.ConsumeBool();
    ReaderProtocol engine(link, binding);

    const auto payload = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 400));
    const uint8_t address = input.ConsumeIntegral<uint8_t>();
    const bool request = input.ConsumeBool();
    const bool awaitAcknowledgement = input.ConsumeBool();

    const auto direct = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 300));
    engine.decodeFrame(ReaderFrame(direct.data(), direct.size()));

    // The reader's bytes answer the request first, then feed the passes.
    link.queue(input.ConsumeRemainingBytes<uint8_t>());
    if (request)
        engine.request(address, payload.data(), payload.size());
    else
        engine.sendFrame(address, payload.data(), payload.size(), awaitAcknowledgement);
    while (!link.incoming.empty()) {
        engine.receivePass();
        engine.reset();
    }
    for (const std::string& code : binding.codes)
        if (code.size() != static_cast<size_t>(boundedCardLength(binding.length)))
            __builtin_trap();
    return 0;
}
