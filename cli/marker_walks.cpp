#include "marker_walks.hpp"

#include <span>
#include <string>
#include <vector>

#include "aiff_info.hpp"
#include "brindle_driver.h"
#include "byte_cursor.h"
#include "resource_fork.hpp"

namespace maxhost {
namespace {

void ignore_count(void *, int32_t) {}
void ignore_marker(void *, const char *, brindle_time) {}
void ignore_orphan(void *, uint32_t) {}
// The walks run for their rate and their log; the box sends the markers.
const brindle_sink kNoOutput{nullptr, ignore_count, ignore_marker, ignore_orphan};

brindle_bytes as_bytes(std::span<const uint8_t> s) { return brindle_bytes{s.data(), s.size()}; }

brindle_bytes held(const t_dynMemory &d) {
    return d.size > 0
               ? brindle_bytes{reinterpret_cast<const uint8_t *>(d.ptr), static_cast<std::size_t>(d.size)}
               : brindle_bytes{nullptr, 0};
}

std::optional<int32_t> wave_rate(const std::string &path, const brindle_log *log) {
    // The open steps over the RIFF header; a file too short for it has no
    // chunk to walk.
    brindle_disk_file file;
    if (!brindle_disk_open(file, path.c_str(), 12)) return std::nullopt;
    brindle_heap blocks;
    int32_t rate = 0;
    bool stated = false;
    t_dynMemory cue{nullptr, 0}, list{nullptr, 0}, smpl{nullptr, 0};
    const auto end = brindle_wave_header_walk(brindle_disk_stream(file), brindle_heap_memory(blocks),
                                              brindle_wave_data{&rate, &cue, &list, &smpl, &stated}, log);
    if (log && end == BRINDLE_WALK_END_OF_FILE)
        brindle_wave_build(held(cue), held(list), held(smpl), rate, brindle_heap_memory(blocks), kNoOutput,
                           log);
    if (!stated) return std::nullopt;
    return rate;
}

// A resource of the file's fork, as the Resource Manager would hand it out.
std::optional<std::span<const uint8_t>> resource(const std::vector<uint8_t> &fork,
                                                 const std::vector<fileservices::ResourceEntry> &entries,
                                                 uint32_t type, int16_t id) {
    for (const fileservices::ResourceEntry &e : entries)
        if (e.type == type && e.id == id)
            return std::span<const uint8_t>(fork).subspan(e.data_offset, e.data_size);
    return std::nullopt;
}

std::optional<int32_t> sd2_rate(const std::string &folder, const std::string &name, const brindle_log *log) {
    std::vector<uint8_t> fork;
    if (fileservices::read_resource_fork(folder, name, fork) != fileservices::kResOk) return std::nullopt;
    std::vector<fileservices::ResourceEntry> entries;
    if (fileservices::parse_resource_fork(fork, entries) != fileservices::kResOk) return std::nullopt;
    const auto text = resource(fork, entries, bytes::fourcc("STR "), 1001);
    if (!text) return std::nullopt;
    const auto rate = brindle_sd2_stated_rate(as_bytes(*text), log);
    if (log)
        if (const auto sdml = resource(fork, entries, bytes::fourcc("sdML"), 1000))
            brindle_sd2_walk(as_bytes(*sdml), rate.value_or(0), kNoOutput, log);
    return rate;
}

const char *aiff_status_text(fileservices::AiffStatus s) {
    switch (s) {
    case fileservices::AiffStatus::NotAiff: return "no FORM header of type AIFF or AIFC";
    case fileservices::AiffStatus::Malformed:
        return "no COMM chunk, a short one, or a chunk past the end of the file";
    case fileservices::AiffStatus::BadRate: return "a rate that is not finite or does not fit 32 bits";
    case fileservices::AiffStatus::MarkersTooLarge: return "a MARK chunk bigger than a block (32767 bytes)";
    case fileservices::AiffStatus::Unreadable: return "the file could not be read";
    case fileservices::AiffStatus::Ok: break;
    }
    return "";
}

std::optional<int32_t> aiff_rate(const std::string &path, const brindle_log *log) {
    fileservices::AiffInfo info;
    // brindle~ walks only what sndfile_info hands it: nothing of a file it
    // refuses.
    if (const auto status = fileservices::read_aiff_info(path, info);
        status != fileservices::AiffStatus::Ok) {
        brindle_note(log, "sndfile_info refuses the file: %s; no markers", aiff_status_text(status));
        return std::nullopt;
    }
    const int32_t peak = 0;
    if (log) brindle_aiff_walk(as_bytes(info.marker_chunk), info.sample_rate, &peak, kNoOutput, log);
    return info.sample_rate;
}

}  // namespace

std::optional<int32_t> stated_rate(const fileservices::Located &file, const brindle_log *log) {
    const std::string path = fileservices::join(file.folder, file.name);
    if (file.type == bytes::fourcc("AIFF") || file.type == bytes::fourcc("AIFC")) return aiff_rate(path, log);
    if (file.type == bytes::fourcc("WAVE")) return wave_rate(path, log);
    if (file.type == bytes::fourcc("Sd2f")) return sd2_rate(file.folder, file.name, log);
    return std::nullopt;
}

}  // namespace maxhost
