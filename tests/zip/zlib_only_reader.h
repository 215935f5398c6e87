// Test support: the reader with zlib's streaming inflate alone, as it decoded every entry
// before whole small entries went to libdeflate; the reference the faster path must match.
#pragma once

#include <memory>

#include "zip/zip_decoder.h"
#include "zip/zip_reader.h"

class CZlibOnlyReader : public CZipReader {
protected:
    std::unique_ptr<CZipDecoder> MakeDecoder(uint16_t method) override {
        std::unique_ptr<CZipDecoder> decoder = CZipReader::MakeDecoder(method);
        zipcodec::CDeflateDecoder::COptions options;
        options.m_wholeEntries = false;
        decoder->UpdateOptions(options);
        return decoder;
    }
};
