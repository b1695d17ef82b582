// FFmpeg's own log: kept silent. The media libraries print lines of their own to standard error
// when a demuxer is refused or a stream is damaged; the player reports such failures through its
// error codes and messages, so those lines would only repeat them in the library's words.
#pragma once

struct FfmpegApi;

// Silences the media libraries' log through the functions of the freshly loaded libavutil.
void QuietMediaLibraryLog(const FfmpegApi& api);
