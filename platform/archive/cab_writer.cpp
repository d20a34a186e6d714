#include "platform/archive/cab_writer.h"

#include "platform/error.h"
#include "platform/owned.h"

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

// GLib objects and errors, each given back once.
template <class T>
using Object = Owned<T*, g_object_unref>;
using ErrorText = Owned<GError*, g_error_free>;

Error gcabError(const ErrorText& error, const std::string& what) {
    const GError* e = error.get();
    return Error(errnum::PathFileAccessError,
                 what + (e && e->message ? std::string(" (") + e->message + ")" : std::string()), "Archive");
}

void addTo(GCabFolder* folder, GCabFile* entry, const std::string& what) {
    ErrorText error;
    if (!gcab_folder_add_file(folder, entry, FALSE, nullptr, error.out()))
        throw gcabError(error, "キャビネットに入れられません: " + what);
}

}  // namespace

struct CabWriter::Impl {
    Object<GCabCabinet> cabinet;
    Object<GCabFolder> folder;
};

CabWriter::CabWriter(bool mszip) : impl_(std::make_unique<Impl>()) {
    impl_->cabinet.reset(gcab_cabinet_new());
    impl_->folder.reset(gcab_folder_new(mszip ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE));
}

CabWriter::~CabWriter() = default;

void CabWriter::addFile(const std::string& name, const std::string& path) {
    const std::string stored = cabName(name);
    Object<GFile> file(g_file_new_for_path(path.c_str()));
    Object<GCabFile> entry(gcab_file_new_with_file(stored.c_str(), file.get()));
    addTo(impl_->folder.get(), entry.get(), path);
}

void CabWriter::addBytes(const std::string& name, std::string bytes, std::time_t mtime) {
    const std::string stored = cabName(name);
    Owned<GBytes*, g_bytes_unref> data(g_bytes_new(bytes.data(), bytes.size()));
    Object<GCabFile> entry(gcab_file_new_with_bytes(stored.c_str(), data.get()));
    Owned<GDateTime*, g_date_time_unref> time(g_date_time_new_from_unix_utc(static_cast<gint64>(mtime)));
    if (time) gcab_file_set_date_time(entry.get(), time.get());
    addTo(impl_->folder.get(), entry.get(), name);
}

void CabWriter::write(const std::string& path) {
    ErrorText error;
    if (!gcab_cabinet_add_folder(impl_->cabinet.get(), impl_->folder.get(), error.out()))
        throw gcabError(error, "キャビネットを組めません: " + path);
    // The cabinet writer goes back to fill in its header: it needs a
    // seekable stream.
    Object<GFile> file(g_file_new_for_path(path.c_str()));
    Object<GFileOutputStream> out(
        g_file_replace(file.get(), nullptr, FALSE, G_FILE_CREATE_PRIVATE, nullptr, error.out()));
    if (!out) throw gcabError(error, "キャビネットを書けません: " + path);
    GOutputStream* stream = G_OUTPUT_STREAM(out.get());
    bool written = gcab_cabinet_write_simple(impl_->cabinet.get(), stream, nullptr, nullptr, nullptr, error.out()) &&
                   g_output_stream_close(stream, nullptr, error.out());
    if (!written) throw gcabError(error, "キャビネットを書けません: " + path);
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd || ::fsync(fd.get()) != 0) throw Error(errnum::PathFileAccessError, "キャビネットを書き終えられません: " + path, "Archive");
}

}  // namespace fg::arc
