// A read-only mapping of a whole input file, where the platform has one
// (POSIX). Reading the image through the page cache costs neither the copy
// nor the cleared pages that reading it into memory costs, and only the
// pages the conversion touches are brought in.
//
// A mapped file that shrinks while it is read would end the run with SIGBUS
// at the first page past its new end. Instead, such a page reads as zeros
// from then on and changed() tells the run to fail rather than commit what it
// made of them.
#pragma once

#include <cstdint>
#include <memory>

namespace dravont {

class MappedFile {
public:
    // Maps the first `size` bytes of the open file `fd`; null where the
    // platform cannot, or the system refuses (the caller reads the file).
    static std::unique_ptr<MappedFile> map(int fd, uint64_t size);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const uint8_t* data() const { return data_; }
    uint64_t size() const { return size_; }
    // True once a page of the mapping was found gone (the file shrank).
    bool changed() const;

private:
    MappedFile(const uint8_t* data, uint64_t size, int slot) : data_(data), size_(size), slot_(slot) {}

    const uint8_t* data_;
    uint64_t size_;
    int slot_;  // in the table the SIGBUS handler consults
};

}  // namespace dravont
