#pragma once

#include <memory>
#include <string_view>

class CPdfObject;
class CPdfStream;

// The decoded stream for a raw stream and its dictionary: the raw stream
// itself without a filter, a flate stream for FlateDecode (or Fl), and null
// for any other filter or filter chain.
std::shared_ptr<CPdfStream> AddFilters(std::shared_ptr<CPdfStream> raw, const CPdfObject& dictionary);

// The decoding stream for one filter name with its decode parameters, or null
// for a filter that is not decoded.
std::shared_ptr<CPdfStream> MakeFilter(std::string_view name, std::shared_ptr<CPdfStream> stream,
                                       const CPdfObject& parameters);
