// libjpeg glue. Library errors long-jump back to the function that set the jump point; every
// function here that sets one keeps only plain data in its frame (no objects with destructors)
// and marks what it changes after the jump point volatile.
#include "image/jpeg_codec.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "base/error_codes.h"
#include "image/image_pixels.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"

namespace {

constexpr size_t kInputBufferSize = 16384;
constexpr size_t kOutputBufferSize = 4096;
// The encoder's memory target starts at width x height x 3 bytes, but no larger than this; it
// grows when the stream needs more.
constexpr size_t kMaxInitialTarget = 16u << 20;

// The library's error manager followed by the jump buffer of the call in progress.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo) {
    JpegErrorManager* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    longjmp(manager->jump, 1);
}

void JpegEmitMessage(j_common_ptr, int) {}
void JpegOutputMessage(j_common_ptr) {}
void JpegFormatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }

void JpegResetErrorManager(j_common_ptr cinfo) {
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

jpeg_error_mgr* JpegSetupErrorManager(JpegErrorManager* manager) {
    std::memset(&manager->pub, 0, sizeof(manager->pub));
    manager->pub.error_exit = JpegErrorExit;
    manager->pub.emit_message = JpegEmitMessage;
    manager->pub.output_message = JpegOutputMessage;
    manager->pub.format_message = JpegFormatMessage;
    manager->pub.reset_error_mgr = JpegResetErrorManager;
    return &manager->pub;
}

// The source manager: a virtual file read in blocks, or a memory block handed over whole.
struct JpegSource {
    jpeg_source_mgr pub;
    qzVfsFile* file;
    const JOCTET* memory;
    size_t position;
    size_t size;
    JOCTET* buffer;
    boolean startOfFile;
};

const JOCTET kFakeEndOfImage[2] = {0xFF, JPEG_EOI};

void JpegInitSource(j_decompress_ptr cinfo) { reinterpret_cast<JpegSource*>(cinfo->src)->startOfFile = TRUE; }

boolean JpegFillInputBuffer(j_decompress_ptr cinfo) {
    JpegSource* src = reinterpret_cast<JpegSource*>(cinfo->src);
    size_t got = 0;
    const JOCTET* next = src->buffer;
    if (src->file) {
        got = VfsRead(src->file, src->buffer, kInputBufferSize);
    } else if (src->position < src->size) {
        next = src->memory + src->position;
        got = src->size - src->position;
        src->position = src->size;
    }
    if (got == 0) {
        if (src->startOfFile) {
            cinfo->err->msg_code = 1;
            cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
        }
        // Premature end of data: a warning nobody sees, and an end-of-image marker, so the
        // picture ends where its data does.
        cinfo->err->msg_code = 2;
        cinfo->err->emit_message(reinterpret_cast<j_common_ptr>(cinfo), -1);
        next = kFakeEndOfImage;
        got = 2;
    }
    src->startOfFile = FALSE;
    src->pub.next_input_byte = next;
    src->pub.bytes_in_buffer = got;
    return TRUE;
}

void JpegSkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    JpegSource* src = reinterpret_cast<JpegSource*>(cinfo->src);
    while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        JpegFillInputBuffer(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void JpegTermSource(j_decompress_ptr) {}

void InstallSource(j_decompress_ptr cinfo, qzVfsFile* file, const void* memory, size_t size) {
    JpegSource* src = static_cast<JpegSource*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegSource)));
    src->pub.init_source = JpegInitSource;
    src->pub.fill_input_buffer = JpegFillInputBuffer;
    src->pub.skip_input_data = JpegSkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = JpegTermSource;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->file = file;
    src->memory = static_cast<const JOCTET*>(memory);
    src->position = 0;
    src->size = size;
    src->buffer = file ? static_cast<JOCTET*>((*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo),
                                                                         JPOOL_PERMANENT, kInputBufferSize))
                       : nullptr;
    src->startOfFile = TRUE;
    cinfo->src = &src->pub;
}

// Whether an Adobe APP14 marker was saved: its CMYK samples are stored inverted.
bool HasAdobeMarker(j_decompress_ptr cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 14 && m->data_length > 11 && std::memcmp(m->data, "Adobe", 5) == 0) return true;
    }
    return false;
}

// Rows arrive as RGB triples in the last 3/4 of their pixel row and are widened in place from the
// left: pixel x is written to bytes 4x..4x+3 after its source at width + 3x has been read (a block
// of 4 pixels is stored only after the 16 bytes it comes from are loaded, and those lie ahead of
// every byte stored so far).
inline void WidenRgbPixels(uint32_t* row, int width, int x) {
    const uint8_t* src = reinterpret_cast<const uint8_t*>(row) + width + 3 * x;
    for (; x < width; ++x, src += 3) {
        row[x] = static_cast<uint32_t>(src[0]) << 16 | static_cast<uint32_t>(src[1]) << 8 | src[2];
    }
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("ssse3"))) void WidenRgbRowSsse3(uint32_t* row, int width) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const uint8_t* base = reinterpret_cast<const uint8_t*>(row) + width;
    int x = 0;
    // 16 bytes are loaded for 12: stop while the load stays inside the row.
    for (; x + 6 <= width; x += 4) {
        __m128i rgb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), _mm_shuffle_epi8(rgb, order));
    }
    WidenRgbPixels(row, width, x);
}
#endif

void WidenRgbRow(uint32_t* row, int width) {
#if defined(__x86_64__) || defined(__i386__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        WidenRgbRowSsse3(row, width);
        return;
    }
#endif
    WidenRgbPixels(row, width, 0);
}

void ConvertCmykRow(uint32_t* row, int width, bool inverted) {
    const uint8_t* src = reinterpret_cast<const uint8_t*>(row);
    for (int x = 0; x < width; ++x, src += 4) {
        uint32_t c = src[0], m = src[1], y = src[2], k = src[3];
        if (inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        uint32_t kk = 255 - k;
        row[x] = ((255 - c) * kk / 255) << 16 | ((255 - m) * kk / 255) << 8 | (255 - y) * kk / 255;
    }
}

// The memory target of the encoder and the destination manager that fills it.
struct JpegMemoryTarget {
    unsigned char* data;
    size_t capacity;
    size_t used;
};

struct JpegDestination {
    jpeg_destination_mgr pub;
    JpegMemoryTarget* target;
    JOCTET* buffer;
};

void AppendToTarget(j_compress_ptr cinfo, JpegMemoryTarget* target, const JOCTET* bytes, size_t count) {
    if (count > target->capacity - target->used) {
        size_t capacity = target->capacity * 2;
        if (capacity < target->used + count) capacity = target->used + count;
        unsigned char* grown = static_cast<unsigned char*>(OsAlloc(capacity, 0));
        if (!grown) {
            cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
            cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
        }
        if (target->used) std::memcpy(grown, target->data, target->used);
        OsFree(target->data);
        target->data = grown;
        target->capacity = capacity;
    }
    std::memcpy(target->data + target->used, bytes, count);
    target->used += count;
}

void JpegInitDestination(j_compress_ptr cinfo) {
    JpegDestination* dest = reinterpret_cast<JpegDestination*>(cinfo->dest);
    dest->buffer = static_cast<JOCTET*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kOutputBufferSize));
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kOutputBufferSize;
}

boolean JpegEmptyOutputBuffer(j_compress_ptr cinfo) {
    JpegDestination* dest = reinterpret_cast<JpegDestination*>(cinfo->dest);
    AppendToTarget(cinfo, dest->target, dest->buffer, kOutputBufferSize);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kOutputBufferSize;
    return TRUE;
}

void JpegTermDestination(j_compress_ptr cinfo) {
    JpegDestination* dest = reinterpret_cast<JpegDestination*>(cinfo->dest);
    AppendToTarget(cinfo, dest->target, dest->buffer, kOutputBufferSize - dest->pub.free_in_buffer);
}

}  // namespace

int LoadJPEG(const void* source, size_t memorySize, int infoOnly, int* outWidth, int* outHeight, uint32_t** outPixels) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager errorManager;
    uint32_t* volatile pixels = nullptr;
    cinfo.err = JpegSetupErrorManager(&errorManager);
    if (setjmp(errorManager.jump)) {
        jpeg_destroy_decompress(&cinfo);
        OsFree(pixels);
        return ERR_LOADPICTURE2;
    }
    jpeg_create_decompress(&cinfo);
    if (memorySize) {
        InstallSource(&cinfo, nullptr, source, memorySize);
    } else {
        InstallSource(&cinfo, static_cast<qzVfsFile*>(const_cast<void*>(source)), nullptr, 0);
    }
    jpeg_save_markers(&cinfo, JPEG_APP0 + 14, 256);
    jpeg_read_header(&cinfo, TRUE);
    if (infoOnly) {
        *outWidth = static_cast<int>(cinfo.image_width);
        *outHeight = static_cast<int>(cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }
    // A header may claim any size up to 65500 x 65500: pictures a bitmap cannot hold are refused
    // before the library sets up its buffers, and its whole-image buffers (progressive files) may
    // not grow past the bitmap limit either, so a tiny file cannot claim gigabytes.
    int rc = CheckImageSize(cinfo.image_width, cinfo.image_height);
    if (rc) {
        jpeg_destroy_decompress(&cinfo);
        return rc;
    }
    cinfo.mem->max_memory_to_use = QZ_MAX_BITMAP_BYTES;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const bool inverted = cmyk && HasAdobeMarker(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    pixels = AllocImagePixels(width, height, 0, &rc);
    if (!pixels || static_cast<int>(cinfo.output_components) != (cmyk ? 4 : 3)) {
        jpeg_destroy_decompress(&cinfo);
        OsFree(pixels);
        return rc ? rc : ERR_LOADPICTURE2;
    }
    // Each scan line goes straight into its pixel row: RGB into the row's last 3/4 (then widened),
    // CMYK (4 bytes a pixel) over the whole row (then converted).
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[8];
        const int first = static_cast<int>(cinfo.output_scanline);
        int count = static_cast<int>(cinfo.output_height) - first;
        if (count > 8) count = 8;
        for (int i = 0; i < count; ++i) {
            uint8_t* row = reinterpret_cast<uint8_t*>(pixels + static_cast<size_t>(first + i) * width);
            rows[i] = cmyk ? row : row + width;
        }
        int got = static_cast<int>(jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count)));
        for (int i = 0; i < got; ++i) {
            uint32_t* row = pixels + static_cast<size_t>(first + i) * width;
            if (cmyk) {
                ConvertCmykRow(row, width, inverted);
            } else {
                WidenRgbRow(row, width);
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    *outPixels = pixels;
    *outWidth = width;
    *outHeight = height;
    return 0;
}

void EncodeJPEG(qzJpegEncodeRequest* request) {
    jpeg_compress_struct cinfo;
    JpegErrorManager errorManager;
    JpegMemoryTarget* volatile target = nullptr;
    qzJpegMemory* volatile result = nullptr;
    JSAMPLE* volatile row = nullptr;
    volatile bool created = false;
    request->result = nullptr;
    request->data = nullptr;
    request->size = 0;
    request->error = 0;

    const int width = request->width;
    const int height = request->height;
    size_t initial = width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) * 3 : 0;
    if (initial > kMaxInitialTarget) initial = kMaxInitialTarget;
    if (initial < 16) initial = 16;
    // The target lives on the heap: the destination manager changes it behind the jump point.
    result = static_cast<qzJpegMemory*>(OsAlloc(sizeof(qzJpegMemory), 1));
    target = static_cast<JpegMemoryTarget*>(OsAlloc(sizeof(JpegMemoryTarget), 1));
    if (target) {
        target->data = static_cast<unsigned char*>(OsAlloc(initial, 0));
        target->capacity = initial;
    }
    if (!result || !target || !target->data || !request->pixels || width < 1 || height < 1) {
        OsFree(result);
        if (target) OsFree(target->data);
        OsFree(target);
        request->error = ERR_MEM;
        return;
    }

    cinfo.err = JpegSetupErrorManager(&errorManager);
    if (setjmp(errorManager.jump)) {
        OsFree(row);
        OsFree(target->data);
        OsFree(target);
        if (created) jpeg_destroy_compress(&cinfo);
        OsFree(result);
        request->error = ERR_MEM;
        return;
    }
    jpeg_create_compress(&cinfo);
    created = true;
    JpegDestination* dest = static_cast<JpegDestination*>(
        (*cinfo.mem->alloc_small)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, sizeof(JpegDestination)));
    dest->pub.init_destination = JpegInitDestination;
    dest->pub.empty_output_buffer = JpegEmptyOutputBuffer;
    dest->pub.term_destination = JpegTermDestination;
    dest->target = target;
    dest->buffer = nullptr;
    cinfo.dest = &dest->pub;
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, request->quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    row = static_cast<JSAMPLE*>(OsAlloc(static_cast<size_t>(width) * 3, 0));
    if (!row) {
        cinfo.err->msg_code = JERR_OUT_OF_MEMORY;
        cinfo.err->error_exit(reinterpret_cast<j_common_ptr>(&cinfo));
    }
    // Byte offsets of red, green and blue inside a stored pixel.
    const int r = request->littleEndianWords ? 2 : 1;
    const int g = request->littleEndianWords ? 1 : 2;
    const int b = request->littleEndianWords ? 0 : 3;
    const uint8_t* source = static_cast<const uint8_t*>(request->pixels);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint8_t* in = source + static_cast<size_t>(cinfo.next_scanline) * static_cast<size_t>(request->stride);
        JSAMPLE* out = row;
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[r];
            out[1] = in[g];
            out[2] = in[b];
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    OsFree(row);
    result->data = target->data;
    result->size = target->used;
    OsFree(target);
    request->result = result;
    request->data = result->data;
    request->size = result->size;
}

void FreeJPEGBuffer(qzJpegMemory* result) {
    if (!result) return;
    OsFree(result->data);
    OsFree(result);
}
