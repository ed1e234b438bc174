#include "probes/spark_connect_proto.h"

#include <cstdint>

namespace plo {
namespace {

constexpr int kLengthDelimited = 2;

void put_varint(std::string& out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>((value & 0x7f) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

void put_bytes(std::string& out, int field, std::string_view bytes) {
  put_varint(out, static_cast<uint64_t>(field) << 3 | kLengthDelimited);
  put_varint(out, bytes.size());
  out.append(bytes);
}

// Reads one varint (at most 10 bytes) from the front of `in`.
std::optional<uint64_t> take_varint(std::string_view& in) {
  uint64_t value = 0;
  for (int shift = 0; shift < 70 && !in.empty(); shift += 7) {
    const auto byte = static_cast<unsigned char>(in.front());
    in.remove_prefix(1);
    value |= static_cast<uint64_t>(byte & 0x7f) << shift;
    if ((byte & 0x80) == 0) return value;
  }
  return std::nullopt;
}

// The last length-delimited value of `field` in a message, or nothing (also when the message is
// malformed). Other fields are skipped by their wire type.
std::optional<std::string_view> last_bytes_field(std::string_view in, uint64_t field) {
  std::optional<std::string_view> found;
  while (!in.empty()) {
    const auto key = take_varint(in);
    if (!key) return std::nullopt;
    const uint64_t wire = *key & 7;
    switch (wire) {
      case 0:
        if (!take_varint(in)) return std::nullopt;
        break;
      case 1:
      case 5: {
        const size_t size = wire == 1 ? 8 : 4;
        if (in.size() < size) return std::nullopt;
        in.remove_prefix(size);
        break;
      }
      case kLengthDelimited: {
        const auto length = take_varint(in);
        if (!length || *length > in.size()) return std::nullopt;
        if ((*key >> 3) == field) found = in.substr(0, *length);
        in.remove_prefix(*length);
        break;
      }
      default:
        return std::nullopt;  // groups are long gone from these messages
    }
  }
  return found;
}

}  // namespace

std::string encode_spark_version_request(std::string_view session_id, std::string_view user_id,
                                         std::string_view client_type) {
  std::string user_context;
  put_bytes(user_context, 1, user_id);
  std::string out;
  put_bytes(out, 1, session_id);
  put_bytes(out, 2, user_context);
  put_bytes(out, 3, client_type);
  put_bytes(out, 10, "");
  return out;
}

std::optional<std::string> decode_spark_version_response(std::string_view message) {
  const auto spark_version = last_bytes_field(message, 8);
  if (!spark_version) return std::nullopt;
  const auto version = last_bytes_field(*spark_version, 1);
  if (!version || version->empty()) return std::nullopt;
  return std::string(*version);
}

std::string grpc_frame(std::string_view message) {
  std::string out(5, '\0');
  const auto size = static_cast<uint32_t>(message.size());
  out[1] = static_cast<char>(size >> 24);
  out[2] = static_cast<char>(size >> 16);
  out[3] = static_cast<char>(size >> 8);
  out[4] = static_cast<char>(size);
  out.append(message);
  return out;
}

std::optional<std::string_view> grpc_unframe(std::string_view body, std::string& error) {
  if (body.size() < 5) {
    error = body.empty() ? "the answer has no message" : "the answer is cut off";
    return std::nullopt;
  }
  if (body[0] != 0) {
    error = "the answer is compressed, which plo did not ask for";
    return std::nullopt;
  }
  const auto byte = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(body[i]));
  };
  const uint32_t size = byte(1) << 24 | byte(2) << 16 | byte(3) << 8 | byte(4);
  if (size > body.size() - 5) {
    error = "the answer is cut off";
    return std::nullopt;
  }
  return body.substr(5, size);
}

}  // namespace plo
