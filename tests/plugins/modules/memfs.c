/* A file and directory adapter over an in-memory tree of "mem:" names:
 *   mem:/hello.txt   "Hello from memory\n"
 *   mem:/dir/        a.txt ("A"), b.txt ("BB"), sub/
 * Files can be written and new ones created. The plugin puts itself into both adapter lists. */
#include <stdlib.h>

#include "test_plugin.h"

typedef struct Node {
    char name[256];
    int isDirectory;
    unsigned char* data;
    size_t size;
} Node;

#define MAX_NODES 64
static Node nodes[MAX_NODES];
static int nodeCount;

typedef struct File {
    Node* node;
    size_t position;
} File;

typedef struct Dir {
    char name[256];
    int next;
} Dir;

static Node* Find(const char* name) {
    for (int i = 0; i < nodeCount; ++i)
        if (strcmp(nodes[i].name, name) == 0) return &nodes[i];
    return NULL;
}

static Node* Add(const char* name, int isDirectory, const char* text) {
    if (nodeCount == MAX_NODES || strlen(name) >= sizeof nodes[0].name) return NULL;
    Node* n = &nodes[nodeCount++];
    memset(n, 0, sizeof *n);
    strcpy(n->name, name);
    n->isDirectory = isDirectory;
    if (text) {
        n->size = strlen(text);
        n->data = (unsigned char*)host->clib->Malloc(n->size ? n->size : 1);
        memcpy(n->data, text, n->size);
    }
    return n;
}

static void FillStat(const Node* n, qzAdapterStat* stat) {
    memset(stat, 0, sizeof *stat);
    stat->flags = n->isDirectory ? QZ_ADAPTERSTAT_DIRECTORY : 0;
    stat->size = (int64_t)n->size;
    stat->protection = 15;
    stat->modifyTime = 1000000000;
    strcpy(stat->name, n->name);
    strcpy(stat->comment, "in memory");
}

QZ_PLUGIN_EXPORT int InitPlugin(qzPluginInfo* info, qzHostApi* api, const char* path) {
    StartInit(info, api, path);
    info->capabilities = QZ_PLUGINCAPS_FILEADAPTER | QZ_PLUGINCAPS_DIRADAPTER;
    nodeCount = 0;
    if (NameStartsWith("refuse")) {
        /* "refuse...": refuses once it is a file adapter, as when its second registration fails. */
        host->sys->RegisterPluginForCapability(info, QZ_PLUGINCAPS_FILEADAPTER);
        return 0;
    }
    Add("mem:/hello.txt", 0, "Hello from memory\n");
    Add("mem:/dir", 1, NULL);
    Add("mem:/dir/a.txt", 0, "A");
    Add("mem:/dir/b.txt", 0, "BB");
    Add("mem:/dir/sub", 1, NULL);
    host->sys->SetRecordTagValue(info, QZ_PLUGINCAPS_FILEADAPTER, 0);
    if (host->sys->RegisterPluginForCapability(info, QZ_PLUGINCAPS_FILEADAPTER) == 0 &&
        host->sys->RegisterPluginForCapability(info, QZ_PLUGINCAPS_DIRADAPTER) == 0)
        return 1;
    /* A refused plugin is never closed: what it allocated goes now. */
    for (int i = 0; i < nodeCount; ++i) host->clib->Free(nodes[i].data);
    nodeCount = 0;
    return 0;
}

QZ_PLUGIN_EXPORT void ClosePlugin(void) {
    for (int i = 0; i < nodeCount; ++i) host->clib->Free(nodes[i].data);
    nodeCount = 0;
    MarkClosed();
}

QZ_PLUGIN_EXPORT void* FOpen(const char* name, int mode, const qzTagItem* tags) {
    Node* n = Find(name);
    if (mode == QZ_FOPEN_WRITE) {
        if (strncmp(name, "mem:/", 5) != 0 || (n && n->isDirectory)) return NULL;
        if (!n) n = Add(name, 0, "");
        if (!n) return NULL;
        n->size = 0;
    }
    if (!n || n->isDirectory) return NULL;
    for (const qzTagItem* t = tags; t && t->tag; ++t)
        if (t->tag == QZ_FOPENTAG_FLAGS && t->value) *(int*)t->value = 0;
    File* f = (File*)host->clib->Malloc(sizeof(File));
    f->node = n;
    f->position = 0;
    return f;
}

QZ_PLUGIN_EXPORT int FClose(void* handle) {
    host->clib->Free(handle);
    return 1;
}

QZ_PLUGIN_EXPORT size_t FRead(void* handle, void* buffer, size_t count) {
    File* f = (File*)handle;
    size_t left = f->position < f->node->size ? f->node->size - f->position : 0;
    if (count > left) count = left;
    memcpy(buffer, f->node->data + f->position, count);
    f->position += count;
    return count;
}

QZ_PLUGIN_EXPORT int FGetC(void* handle) {
    unsigned char c;
    return FRead(handle, &c, 1) == 1 ? c : -1;
}

QZ_PLUGIN_EXPORT size_t FWrite(void* handle, const void* buffer, size_t count) {
    File* f = (File*)handle;
    size_t end = f->position + count;
    if (end > f->node->size) {
        unsigned char* grown = (unsigned char*)host->clib->Realloc(f->node->data, end);
        if (!grown) return 0;
        f->node->data = grown;
        f->node->size = end;
    }
    memcpy(f->node->data + f->position, buffer, count);
    f->position = end;
    return count;
}

QZ_PLUGIN_EXPORT int FPutC(void* handle, int byte) {
    unsigned char c = (unsigned char)byte;
    return FWrite(handle, &c, 1) == 1;
}

QZ_PLUGIN_EXPORT int64_t FSeek(void* handle, int64_t offset, int mode) {
    File* f = (File*)handle;
    int64_t previous = (int64_t)f->position;
    int64_t target = mode == 1 ? offset : mode == 2 ? (int64_t)f->node->size + offset : previous + offset;
    if (target < 0) return -1;
    f->position = (size_t)target;
    return previous;
}

QZ_PLUGIN_EXPORT int FFlush(void* handle) {
    (void)handle;
    return 1;
}

QZ_PLUGIN_EXPORT int FEof(void* handle) {
    File* f = (File*)handle;
    return f->position >= f->node->size;
}

QZ_PLUGIN_EXPORT int FStat(void* handle, qzAdapterStat* stat, const qzTagItem* tags) {
    (void)tags;
    FillStat(((File*)handle)->node, stat);
    return 1;
}

QZ_PLUGIN_EXPORT int Stat(const char* name, intptr_t reserved, qzAdapterStat* stat, const qzTagItem* tags) {
    (void)reserved, (void)tags;
    Node* n = Find(name);
    if (!n) return 0;
    FillStat(n, stat);
    return 1;
}

QZ_PLUGIN_EXPORT void* OpenDir(const char* name, intptr_t reserved, const qzTagItem* tags) {
    (void)reserved, (void)tags;
    Node* n = Find(name);
    if (!n || !n->isDirectory) return NULL;
    Dir* d = (Dir*)host->clib->Malloc(sizeof(Dir));
    strcpy(d->name, name);
    d->next = 0;
    return d;
}

QZ_PLUGIN_EXPORT void CloseDir(void* handle) { host->clib->Free(handle); }

QZ_PLUGIN_EXPORT int NextDirEntry(void* handle, qzAdapterStat* entry, const qzTagItem* tags) {
    (void)tags;
    Dir* d = (Dir*)handle;
    size_t length = strlen(d->name);
    for (; d->next < nodeCount; ++d->next) {
        Node* n = &nodes[d->next];
        if (strncmp(n->name, d->name, length) != 0 || n->name[length] != '/' || strchr(n->name + length + 1, '/'))
            continue;
        FillStat(n, entry);
        strcpy(entry->name, n->name + length + 1);
        ++d->next;
        return 1;
    }
    return 0;
}
