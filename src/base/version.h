// The program's version, as the help text and the request's User-Agent
// line give it. Kept equal to the project version in CMakeLists.txt.
#ifndef TAVIK_BASE_VERSION_H
#define TAVIK_BASE_VERSION_H

#define TAVIK_VERSION_MAJOR 1
#define TAVIK_VERSION_MINOR 2

#endif
