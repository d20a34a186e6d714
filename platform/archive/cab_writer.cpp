#include "platform/archive/cab_writer.h"

#include "platform/error.h"

#include <fcntl.h>
#include <unistd.h>

#include <libgcab.h>

namespace fg::arc {

namespace {

std::string cabName(std::string name) {
    for (char& c : name)
        if (c == '/') c = '\\';
    return name;
}

Error gcabError(GError* error, const std::string& what) {
    std::string text = what + (error && error->message ? std::string(" (") + error->message + ")" : std::string());
    if (error) g_error_free(error);
    return Error(75, text, "Archive");
}

}  // namespace

struct CabWriter::Impl {
    GCabCabinet* cabinet = nullptr;
    GCabFolder* folder = nullptr;
};

CabWriter::CabWriter(bool mszip) : impl_(std::make_unique<Impl>()) {
    impl_->cabinet = gcab_cabinet_new();
    impl_->folder = gcab_folder_new(mszip ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE);
}

CabWriter::~CabWriter() {
    if (impl_->folder) g_object_unref(impl_->folder);
    if (impl_->cabinet) g_object_unref(impl_->cabinet);
}

void CabWriter::addFile(const std::string& name, const std::string& path) {
    GFile* file = g_file_new_for_path(path.c_str());
    GCabFile* entry = gcab_file_new_with_file(cabName(name).c_str(), file);
    g_object_unref(file);
    GError* error = nullptr;
    gboolean added = gcab_folder_add_file(impl_->folder, entry, FALSE, nullptr, &error);
    g_object_unref(entry);
    if (!added) throw gcabError(error, "キャビネットに入れられません: " + path);
}

void CabWriter::addBytes(const std::string& name, std::string bytes, std::time_t mtime) {
    GBytes* data = g_bytes_new(bytes.data(), bytes.size());
    GCabFile* entry = gcab_file_new_with_bytes(cabName(name).c_str(), data);
    g_bytes_unref(data);
    GDateTime* time = g_date_time_new_from_unix_utc(static_cast<gint64>(mtime));
    if (time) {
        gcab_file_set_date_time(entry, time);
        g_date_time_unref(time);
    }
    GError* error = nullptr;
    gboolean added = gcab_folder_add_file(impl_->folder, entry, FALSE, nullptr, &error);
    g_object_unref(entry);
    if (!added) throw gcabError(error, "キャビネットに入れられません: " + name);
}

void CabWriter::write(const std::string& path) {
    GError* error = nullptr;
    if (!gcab_cabinet_add_folder(impl_->cabinet, impl_->folder, &error))
        throw gcabError(error, "キャビネットを組めません: " + path);
    // The cabinet writer goes back to fill in its header: it needs a
    // seekable stream.
    GFile* file = g_file_new_for_path(path.c_str());
    GFileOutputStream* out = g_file_replace(file, nullptr, FALSE, G_FILE_CREATE_PRIVATE, nullptr, &error);
    g_object_unref(file);
    if (!out) throw gcabError(error, "キャビネットを書けません: " + path);
    gboolean written = gcab_cabinet_write_simple(impl_->cabinet, G_OUTPUT_STREAM(out), nullptr, nullptr, nullptr, &error);
    if (written) written = g_output_stream_close(G_OUTPUT_STREAM(out), nullptr, &error);
    g_object_unref(out);
    if (!written) throw gcabError(error, "キャビネットを書けません: " + path);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!synced) throw Error(75, "キャビネットを書き終えられません: " + path, "Archive");
}

}  // namespace fg::arc
