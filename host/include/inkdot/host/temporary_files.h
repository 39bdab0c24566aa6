/* SPDX-License-Identifier: Apache-2.0 */
// Every temporary file and folder the process has made and not yet put in
// place or removed. When the process is told to stop (SIGINT, SIGTERM,
// SIGHUP, SIGPIPE, SIGXFSZ), they are removed before it ends, so that an
// interrupted run leaves nothing behind.
#pragma once

#include <filesystem>

namespace inkdot::host {

enum class TemporaryKind { kFile, kEmptyFolder, kTree };

// Records a temporary, before it is made. Throws Error when the process is
// already stopping.
void RegisterTemporary(const std::filesystem::path &path, TemporaryKind kind);
// Forgets a temporary that was renamed into place or removed.
void ForgetTemporary(const std::filesystem::path &path);

// Blocks the stopping signals in the calling thread and every thread it
// starts afterwards, and starts a thread that waits for them: on one, it
// removes every registered temporary and ends the process by that signal
// (status 128 + its number in a shell). A write past the file-size limit
// then fails with "file too large" instead of killing the process, and a
// write to a closed pipe with "broken pipe". Signals the process inherited
// as ignored (SIGHUP under nohup) stay ignored. Call once, first thing in
// main, before any other thread starts.
void RemoveTemporariesOnSignals();

}  // namespace inkdot::host
