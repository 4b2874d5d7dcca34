// What the process writes to stderr, the sound library's messages among
// them, once routed through here. A message that repeats the one before is
// dropped.
//
// Why: when a sound server goes away mid-run (PipeWire through its ALSA
// plugin), the library's ALSA host falls into an error path that loops for
// good in the stream's audio thread, writing the same message each turn
// with thread cancellation disabled. Aborting the stream would wait forever
// for that thread, which would flood the terminal and keep a core busy. So
// the audio thread repeating a message is slowed to one turn per 10 ms, and
// once its stream is being aborted it is ended at that message, as the
// library's own cancellation would have ended it: the library's clean-up
// runs and the abort and the close complete.
#pragma once

#include <pthread.h>

namespace tolvek {

// Routes stderr through the filter; the first call does it, later ones
// nothing. Call it on the message thread before the library starts.
void filterLibraryMessages();

// Notes the calling thread as the stream's audio thread; for the callback.
void noteAudioThread();
pthread_t audioThread();  // the thread last noted, 0 before any

// While a thread is marked, it is ended at the next message it repeats;
// 0 clears the mark. For the abort of a lost stream, around it.
void markLostAudioThread(pthread_t thread);

}  // namespace tolvek
