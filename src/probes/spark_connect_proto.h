#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plo {

// The few protobuf messages and the gRPC framing that asking a Spark Connect server for its
// version takes, encoded and decoded by hand.

// An AnalyzePlanRequest asking for the Spark version: session_id (1), user_context (2) with its
// user_id (1), client_type (3) and the empty spark_version analysis (10).
std::string encode_spark_version_request(std::string_view session_id, std::string_view user_id,
                                         std::string_view client_type);

// The version of an AnalyzePlanResponse's spark_version (8) field (its version, 1), or nothing
// when the message does not parse or holds none. Linear in the message size.
std::optional<std::string> decode_spark_version_response(std::string_view message);

// A message in gRPC's length-prefixed framing: uncompressed flag, 4-byte big-endian length.
std::string grpc_frame(std::string_view message);

// The first message of a gRPC body, or nothing with `error` set (short, compressed, cut off).
std::optional<std::string_view> grpc_unframe(std::string_view body, std::string& error);

}  // namespace plo
