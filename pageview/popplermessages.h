#pragma once

// Poppler reports each fault of a document where it meets it, and by default writes every report
// to standard error. A careless or damaged document can make a hundred thousand of them in one
// render: writing them took longer than the render itself, and on a device whose journal takes
// the service's standard error and output alike, a flood that reaches the journal's rate limit
// holds back the viewer's own lines with it. So, once called, each stretch of work between two
// turns of the event loop passes on its first reports as they were and counts the rest in one
// line on standard error at its end.
void limitPopplerMessages();
