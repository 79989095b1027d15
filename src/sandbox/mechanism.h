// What each mechanism (seccomp.cc, capsicum.cc, none.cc) gives the sandbox's
// entry point (sandbox.cc), and the two steps they share.
#ifndef TAVIK_SANDBOX_MECHANISM_H
#define TAVIK_SANDBOX_MECHANISM_H

// Confines the process to sock, standard output and error, memory and
// exit, as sandbox/sandbox.h says. Returns whether it is confined; a
// refusal has gone through sandbox_refused.
bool confine_process(int sock, bool say_why);

// The system would not confine the process: the run goes on without the
// sandbox, and says why (the step that failed and its error) when asked
// to. Returns false, for confine_process to return.
bool sandbox_refused(bool say_why, const char *step, int error);

// Chooses stdout's buffering now, while the descriptor can still be asked
// about; a mechanism calls it before it confines anything.
void settle_stdout_buffering(void);

#endif
