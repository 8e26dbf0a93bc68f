#pragma once

// Opens /dev/null in place of standard input, output or error where the launcher closed them.
// The next file opened would otherwise take that number, on X the connection to the server, and
// the console lines would be written into it: the server then took the window's requests for
// garbage and the viewer hung. Also keeps a pipe without a reader from ending the viewer. Call
// first thing in main.
void keepStandardStreamsOpen();
