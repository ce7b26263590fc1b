#include "launcher/hash_list.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <xxhash.h>

#include "launcher/hash_list_path.h"
#include "launcher/module_directory.h"
#include "platform/directory.h"
#include "platform/file_info.h"
#include "platform/last_error_message.h"
#include "platform/path_below.h"

namespace VadiZov {

bool listFiles(const std::string& directory, const std::string& mask, std::vector<std::string>* files,
               std::string* failedDirectory)
{
    files->clear();
    std::vector<std::string> pending{directory};
    std::vector<platform::DirectoryEntry> entries;
    while (!pending.empty()) {
        const std::string current = pending.back();
        pending.pop_back();
        if (!platform::listDirectory(current, mask, &entries)) {
            if (failedDirectory)
                *failedDirectory = current;
            return false;
        }
        for (const platform::DirectoryEntry& entry : entries) {
            const std::string path = current + "/" + entry.name;
            if (entry.kind == platform::EntryKind::Directory)
                pending.push_back(path);
            else if (entry.kind == platform::EntryKind::File)
                files->push_back(path);
        }
    }
    return true;
}

bool hashFile(const std::string& path, std::string* hashText, unsigned char* buffer, size_t bufferSize)
{
    std::FILE* file = platform::openRegularFileForReading(path);
    if (!file)
        return false;
    XXH32_state_t* state = XXH32_createState();
    if (!state) {
        std::fclose(file);
        return false;
    }
    XXH32_reset(state, 0);
    for (;;) {
        const size_t got = std::fread(buffer, 1, bufferSize, file);
        XXH32_update(state, buffer, got);
        if (got == 0 || std::ferror(file))
            break;
    }
    // A hash of half a file would be a wrong line; no line is better.
    const bool readWhole = !std::ferror(file);
    std::fclose(file);
    const XXH32_hash_t digest = XXH32_digest(state);
    XXH32_freeState(state);
    if (!readWhole)
        return false;
    char text[64];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(digest));
    *hashText = text;
    return true;
}

uint64_t fileSize(const std::string& path)
{
    uint64_t size = 0;
    return platform::getFileSize(path, &size) ? size : kUnknownFileSize;
}

int writeHashList()
{
    // Without its own directory the walk would start at the file system's root.
    const std::string directory = getModuleDirectory();
    if (directory.empty()) {
        std::printf("Unable to find the launcher's directory: %s\n", platform::getLastErrorMessage().c_str());
        return kExitDirectoryUnknown;
    }
    std::vector<std::string> files;
    std::string failedDirectory;
    if (!listFiles(directory, "*", &files, &failedDirectory)) {
        const std::string error = platform::getLastErrorMessage();
        std::printf("Unable to get file list.\n");
        std::printf("Unable to read directory %s: %s\n", failedDirectory.c_str(), error.c_str());
        return kExitWalkFailed;
    }

    // A link or a FIFO planted as the list is never written through or waited on.
    const std::string listPath = directory + "/" + kHashListName;
    std::FILE* list = platform::openFileBelow(directory, kHashListName, "w");
    if (!list) {
        std::printf("Unable to open hash file: %s\n", listPath.c_str());
        return kExitHashListNotOpened;
    }
    unsigned char* buffer = static_cast<unsigned char*>(std::malloc(kHashBufferSize));
    if (!buffer) {
        std::printf("Unable to allocate buffer\n");
        std::fclose(list);
        return kExitBufferNotAllocated;
    }

    for (const std::string& path : files) {
        // The list being written is no part of the installation.
        if (path == listPath)
            continue;
        const uint64_t size = fileSize(path);
        std::string hash;
        if (!hashFile(path, &hash, buffer, kHashBufferSize))
            continue;
        std::fprintf(list, "%s\t%" PRIu64 "\t%s\r\n", hashListPath(path, directory).c_str(), size,
                     hash.c_str());
    }
    std::free(buffer);

    const bool written = !std::ferror(list);
    if (std::fclose(list) != 0 || !written) {
        std::printf("Unable to write hash file: %s\n", listPath.c_str());
        return kExitHashListNotWritten;
    }
    return kExitHashListWritten;
}

} // namespace VadiZov
