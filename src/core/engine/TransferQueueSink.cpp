#include "engine/TransferQueueSink.h"

#include <atomic>

namespace zyfar {

namespace {
std::atomic<TransferQueueSink*> gSink{nullptr};
}

void SetTransferQueueSink(TransferQueueSink* sink) { gSink.store(sink); }

TransferQueueSink* GetTransferQueueSink() { return gSink.load(); }

}  // namespace zyfar
