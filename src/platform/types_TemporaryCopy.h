// What the loading program and the setup program it starts agree on about
// the temporary copy of the setup program: who removes it, and how the setup
// program asks to keep it.
#pragma once

// "-c" followed by this value ("-cl"): the loading program that started the
// copy waits for it and removes the copy and its folder itself once it has
// ended; the setup program starts no batch. A plain "-c" (an older loading
// program, or the run after a restart) leaves the removal to the setup
// program's own clean-up batch. An older setup program reads "-cl" as "-c".
inline constexpr const char* kCleanupByLoader = "l";

// A file the setup program leaves in its folder when the copy must stay: the
// run after a restart starts it again, the project vetoed the clean-up, or it
// is a debug run. The loading program then lets go of the folder as it is.
inline constexpr const char* kKeepCopyMarker = "~qfdkeep.txt";
