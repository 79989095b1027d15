// The sandbox a run enters once its connection is open. By then the
// configuration is read, the name resolved and the socket connected; the
// exchange, the chunked decoding, the parse, the report and -D need only
// the socket, standard output and error, memory and exit. Inside, the
// process can no longer open or create files, make or connect sockets, run
// programs or gain privileges, whatever a flaw in those stages let a
// hostile server make of it.
//
//   FreeBSD    Capsicum: every other descriptor inherited closed; the
//              socket limited to sending, receiving and waiting; standard
//              output and error to writing and the queries stdio makes;
//              standard input to nothing; then capability mode.
//   Linux      no new privileges, then a seccomp filter (libseccomp) that
//              lets the calls listed in sandbox.cc through and makes every
//              other call fail with EPERM: a call missing from the list
//              costs an error path, never a crash.
//   elsewhere  nothing, as in builds configured with -DTAVIK_SANDBOX=OFF.
#ifndef TAVIK_HTTP_SANDBOX_H
#define TAVIK_HTTP_SANDBOX_H

// Confines the process to sock, standard output and error, memory and
// exit. Call it once, with the connected socket, before anything is
// written to standard output: stdio's buffering of it is settled here,
// while the descriptor can still be asked about. Returns whether the
// process is confined. A system that refuses (an old kernel, a container
// that forbids it) leaves the run unconfined, and then, with say_why, one
// line on stderr says so.
bool enter_sandbox(int sock, bool say_why);

#endif
