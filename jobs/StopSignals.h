#pragma once
// Programs without a window (veltra-qrm-read, veltra-qrm-archive) run one job to its end, and
// SIGINT and SIGTERM cancel it as the Cancel button would:
//
//   TReadKLEN job;  ...
//   RunUntilFinished(job);                 // needs a QCoreApplication; returns after job.Wait()
//   if (StopSignalCaught()) return 130;
//
// The handlers only write a byte on a pipe that the event loop watches; the job is cancelled from
// there, never from inside a signal handler.
#include "jobs/SmProgressThread.h"

// Installs the handlers, once; call it early, and a signal that comes before the job cancels it at
// its start. Throws when the pipe cannot be made.
void CatchStopSignals();

// Installs the handlers (once), starts the job, runs the event loop until the job has finished, and
// waits for its thread. A signal that came before the start cancels the job at once. Throws when the
// pipe cannot be made.
void RunUntilFinished(TSmProgressThread& job);

// Whether SIGINT or SIGTERM arrived since the handlers were installed.
bool StopSignalCaught();
