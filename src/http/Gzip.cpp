#include "http/Gzip.h"

#include <QFile>

#include <zlib.h>

#include <cerrno>

static_assert(Gzip::OutputTooLarge == Z_BUF_ERROR);

namespace {

constexpr int Block = 16384;
// 15 bits of window, +32 to detect a gzip or zlib header, +16 to write a gzip wrapper.
constexpr int InflateWindowBits = 47;
constexpr int DeflateWindowBits = 31;

struct FileCloser
{
    void operator()(std::FILE *file) const
    {
        if (file)
            std::fclose(file);
    }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

template <typename Transfer>
int betweenFiles(const QString &sourcePath, const QString &destinationPath, int *errorNumber,
                 Transfer transfer)
{
    const auto failed = [errorNumber](int result, int cause) {
        if (errorNumber)
            *errorNumber = cause;
        return result;
    };
    const FilePointer source(std::fopen(QFile::encodeName(sourcePath).constData(), "rb"));
    if (!source)
        return failed(Z_ERRNO, errno);
    FilePointer destination(std::fopen(QFile::encodeName(destinationPath).constData(), "wb"));
    if (!destination)
        return failed(1, errno);
    int result = transfer(source.get(), destination.get());
    int cause = result == Z_ERRNO ? errno : 0;
    if (std::fclose(destination.release()) != 0 && result == Z_OK) {
        result = Z_ERRNO;
        cause = errno;
    }
    // A failed transfer leaves nothing behind that could pass for its result.
    if (result != Z_OK)
        QFile::remove(destinationPath);
    return failed(result, cause);
}

} // namespace

std::optional<QByteArray> Gzip::uncompressZippedData(const QByteArray &data, qsizetype limit,
                                                     bool *tooLarge)
{
    if (tooLarge)
        *tooLarge = false;
    if (data.isEmpty())
        return data;
    // Room for one byte past the limit tells a body of exactly `limit` bytes from a larger one.
    const qsizetype ceiling = limit < std::numeric_limits<qsizetype>::max() ? limit + 1 : limit;
    QByteArray output(qMin(ceiling, qMax<qsizetype>(data.size() * 2, Block)), Qt::Uninitialized);
    z_stream stream{};
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    if (inflateInit2(&stream, InflateWindowBits) != Z_OK)
        return std::nullopt;
    int status = Z_OK;
    while (status == Z_OK) {
        if (qsizetype(stream.total_out) >= output.size()) {
            if (output.size() >= ceiling)
                break;
            // Doubling keeps the copies linear in the size of the result.
            output.resize(output.size() > ceiling / 2 ? ceiling : output.size() * 2);
        }
        stream.next_out = reinterpret_cast<Bytef *>(output.data()) + stream.total_out;
        stream.avail_out = uInt(qMin<qsizetype>(output.size() - qsizetype(stream.total_out),
                                                std::numeric_limits<uInt>::max()));
        status = inflate(&stream, Z_SYNC_FLUSH);
    }
    const qsizetype produced = qsizetype(stream.total_out);
    inflateEnd(&stream);
    if (produced > limit) {
        if (tooLarge)
            *tooLarge = true;
        return std::nullopt;
    }
    if (status != Z_STREAM_END)
        return std::nullopt;
    output.truncate(produced);
    return output;
}

int Gzip::uncompressZippedDataFromFile(const QString &sourcePath, const QString &destinationPath,
                                       qint64 limit, int *errorNumber)
{
    return betweenFiles(sourcePath, destinationPath, errorNumber,
                        [limit](std::FILE *source, std::FILE *destination) {
                            return uncompressZippedDataFromSource(source, destination, limit);
                        });
}

int Gzip::uncompressZippedDataFromSource(std::FILE *source, std::FILE *destination, qint64 limit)
{
    quint64 room = limit > 0 ? quint64(limit) : std::numeric_limits<quint64>::max();
    z_stream stream{};
    int status = inflateInit2(&stream, InflateWindowBits);
    if (status != Z_OK)
        return status;
    unsigned char in[Block];
    unsigned char out[Block];
    do {
        stream.avail_in = uInt(std::fread(in, 1, Block, source));
        if (std::ferror(source)) {
            inflateEnd(&stream);
            return Z_ERRNO;
        }
        if (stream.avail_in == 0) {
            inflateEnd(&stream);
            return Z_DATA_ERROR;
        }
        stream.next_in = in;
        do {
            stream.avail_out = Block;
            stream.next_out = out;
            status = inflate(&stream, Z_NO_FLUSH);
            if (status == Z_NEED_DICT)
                status = Z_DATA_ERROR;
            if (status == Z_DATA_ERROR || status == Z_MEM_ERROR || status == Z_STREAM_ERROR) {
                inflateEnd(&stream);
                return status;
            }
            const size_t have = Block - stream.avail_out;
            if (have > room) {
                inflateEnd(&stream);
                return OutputTooLarge;
            }
            room -= have;
            if (std::fwrite(out, 1, have, destination) != have || std::ferror(destination)) {
                inflateEnd(&stream);
                return Z_ERRNO;
            }
        } while (stream.avail_out == 0);
    } while (status != Z_STREAM_END);
    inflateEnd(&stream);
    return Z_OK;
}

std::optional<QByteArray> Gzip::compressData(const QByteArray &data)
{
    if (data.isEmpty())
        return data;
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, DeflateWindowBits, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    QByteArray output(Block, Qt::Uninitialized);
    int status = Z_OK;
    do {
        if (qsizetype(stream.total_out) >= output.size())
            output.resize(output.size() + Block);
        stream.next_out = reinterpret_cast<Bytef *>(output.data()) + stream.total_out;
        stream.avail_out = uInt(output.size() - qsizetype(stream.total_out));
        status = deflate(&stream, Z_FINISH);
    } while (status == Z_OK && stream.avail_out == 0);
    const qsizetype produced = qsizetype(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        return std::nullopt;
    output.truncate(produced);
    return output;
}

int Gzip::compressDataFromFile(const QString &sourcePath, const QString &destinationPath)
{
    return betweenFiles(sourcePath, destinationPath, nullptr, &Gzip::compressDataFromSource);
}

int Gzip::compressDataFromSource(std::FILE *source, std::FILE *destination)
{
    z_stream stream{};
    int status = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, DeflateWindowBits, 8,
                              Z_DEFAULT_STRATEGY);
    if (status != Z_OK)
        return status;
    unsigned char in[Block];
    unsigned char out[Block];
    int flush = Z_NO_FLUSH;
    do {
        stream.avail_in = uInt(std::fread(in, 1, Block, source));
        if (std::ferror(source)) {
            deflateEnd(&stream);
            return Z_ERRNO;
        }
        flush = std::feof(source) ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = in;
        do {
            stream.avail_out = Block;
            stream.next_out = out;
            deflate(&stream, flush);
            const size_t have = Block - stream.avail_out;
            if (std::fwrite(out, 1, have, destination) != have || std::ferror(destination)) {
                deflateEnd(&stream);
                return Z_ERRNO;
            }
        } while (stream.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&stream);
    return Z_OK;
}
