// Marks the audio callback as a real-time context for clang's RealtimeSanitizer
// runtime when the build links it in; otherwise does nothing.
#pragma once

#ifdef TOLVEK_RTSAN
extern "C" void __rtsan_realtime_enter();
extern "C" void __rtsan_realtime_exit();
#endif

namespace tolvek {

struct RealtimeGuard {
#ifdef TOLVEK_RTSAN
    RealtimeGuard() { __rtsan_realtime_enter(); }
    ~RealtimeGuard() { __rtsan_realtime_exit(); }
#endif
};

}  // namespace tolvek
