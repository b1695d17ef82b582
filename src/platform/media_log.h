// FFmpeg's own log: kept silent. The media libraries print lines of their own to standard error
// when a demuxer is refused or a stream is damaged; the player reports such failures through its
// error codes and messages, so those lines would only repeat them in the library's words.
#pragma once

// Silences the media libraries' log. Called once at start-up and again by every entry point of
// the FFmpeg glue, for callers that never ran start-up; calls after the first do nothing.
void QuietMediaLibraryLog();
