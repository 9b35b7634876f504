#pragma once

namespace corvalis::engine {

// The engine writes a database file and its rollback journal a page at a time, the journal in
// three writes per page (its number, its content, a checksum): a bulk change of a million records
// costs several hundred thousand system calls. This file layer over the system's default one
// gathers a run of consecutive writes to one database file or rollback journal and hands it to
// the system in one write.
// The system receives the same writes in the same order as without the layer, only later:
// - a run ends, and goes out, when the process writes to another such file or the file is read,
//   synced, sized, truncated, locked, unlocked or closed;
// - every run of the process goes out before any file is synced, truncated, locked, unlocked,
//   closed or deleted, so what another process sees, and what a crash leaves, is always a
//   prefix of the writes the engine made to these files, as the engine counts on even where it
//   does not sync.
// A failed hand-over fails the call that made it. Unless that call was a write or sync of the
// run's own file, which the engine always heeds, the file whose run failed also fails every later
// use until it closes, and so do its journal or database, and no journal is deleted meanwhile:
// its connection learns of the loss before any commit can count on those writes.
// Installs the layer once as the engine's default, for every file opened afterwards.
void gatherEngineWrites();

} // namespace corvalis::engine
