// The sandbox a run enters once its connection is open, and what it
// confines.
//
// Confined: the run from the connection on. By then the configuration is
// read, the name resolved and the socket connected; the exchange, the
// chunked decoding, the parse, the report and -D run inside, and need only
// the socket, standard output and error, memory and exit. Inside, the
// process can no longer open or create files, make or connect sockets, run
// programs, signal other processes or gain privileges, whatever a flaw in
// those stages let a hostile server make of it. A system that refuses the
// sandbox (an old kernel, a container that forbids it) leaves the run
// unconfined and otherwise unchanged; with -D, one line on stderr says so.
//
// sandbox.cc holds the entry point and what the mechanisms share
// (sandbox/mechanism.h); then one source for each mechanism, of which the
// build compiles exactly one.
//   capsicum.cc  FreeBSD: every descriptor inherited beyond the standard
//                ones closed; the socket limited to sending, receiving and
//                waiting; standard output and error to writing and the
//                queries stdio makes; standard input to nothing; then
//                capability mode.
//   seccomp.cc   Linux: no new privileges, then a seccomp filter
//                (libseccomp) that lets the calls it lists through and
//                makes every other call fail with EPERM: a call missing
//                from the list costs an error path, never a crash.
//   none.cc      other systems, and builds configured with
//                -DTAVIK_SANDBOX=OFF or with AddressSanitizer or
//                LeakSanitizer: nothing.
#ifndef TAVIK_SANDBOX_SANDBOX_H
#define TAVIK_SANDBOX_SANDBOX_H

// Confines the process to sock, standard output and error, memory and
// exit. Call it once, with the connected socket, before anything is
// written to standard output: stdio's buffering of it is settled here,
// while the descriptor can still be asked about. Returns whether the
// process is confined; where the system refuses, say_why has one line on
// stderr say why.
bool enter_sandbox(int sock, bool say_why);

#endif
