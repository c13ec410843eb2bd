#pragma once

#include <QByteArrayList>

// The web engine's process-wide set-up, done once, from main() (and from the
// tests' support), never from a static initialiser.
namespace WebEnvironment {

// Makes the stream page's lichuantv: scheme known. The engine fixes its
// schemes when it starts: call this before the application object exists.
void registerSchemes();

// The engine's own switches, fixed in the program, for the application
// object's arguments (Qt hands Chromium only what follows --webEngineArgs).
// Chromium's media-key handling is off: it would put a media player of the
// engine's own on the session bus beside the viewer's.
QByteArrayList engineArguments();

// Sets up the engine's default profile, which every view uses: off the
// record with a memory cache and no stored cookies, so the viewer keeps no
// files; the stream page's scripts under lichuantv://player/; and the one
// download handler, which refuses every download after telling its page.
// Call once the application object exists, before the first view.
void prepareProfile();

} // namespace WebEnvironment
