// GOST 28147-89 in electronic-codebook mode, with the small frame that the
// cache file is stored in:
//   bytes 0-3   plaintext length L (big-endian)
//   bytes 4-7   pad count P, 0..7 (big-endian)
//   bytes 8-11  zero
//   bytes 12-   L + P bytes of ciphertext, each 8-byte block on its own
// An empty plaintext has an empty frame. The frame carries no check value:
// a wrong key deciphers to other bytes of the same length.
#pragma once

#include <cstdint>
#include <vector>

using ByteArray = std::vector<uint8_t>;

// The eight 32-bit subkeys X0..X7.
struct GostKey {
  uint32_t x[8];
};

// Fills the four merged substitution tables; builds them once per process, so
// it is cheap and safe to call from any thread at any time.
void GostBuildTables();

// One block: in/out are the words N1 (bytes 0-3) and N2 (bytes 4-7), read
// little-endian. `in` and `out` may be the same array.
void GostEncryptBlock(const uint32_t in[2], uint32_t out[2], const GostKey& key);
void GostDecryptBlock(const uint32_t in[2], uint32_t out[2], const GostKey& key);

// Enciphers or deciphers the length / 8 whole blocks of `input` into the same
// places of `output`, which may be `input` itself; the last length % 8 bytes
// of output are not touched. False when a pointer is null or length is below
// 4. Uses AVX2 where the processor and the system allow it; both paths give
// the same bytes.
bool GostCryptBlocks(const GostKey& key, const uint8_t* input, uint32_t length, uint8_t* output, bool encrypt);

// `out` receives the frame of `data`, which must not point into `out`.
// Always true (a zero length gives an empty frame); running out of memory
// throws std::bad_alloc and leaves `out` untouched.
bool GostEncryptBuffer(const GostKey& key, const uint8_t* data, uint32_t length, ByteArray& out);

// `out` receives exactly the plaintext of `frame`. False, with `out`
// untouched, for a malformed frame; a zero length gives an empty plaintext.
bool GostDecryptBuffer(const GostKey& key, const uint8_t* frame, uint32_t length, ByteArray& out);

// Checks the header of `frame` against its length as GostDecryptBuffer
// does, without deciphering anything: true, with `plainLength` set, for a
// frame that GostDecryptBuffer would accept. A zero length is no frame here.
bool GostCheckFrame(const uint8_t* frame, uint32_t length, uint32_t& plainLength);

// Checks `frame` like GostDecryptBuffer and deciphers it where it lies: on
// success the plaintext is the `plainLength` bytes from frame + 12 on (no
// bytes for a zero length). False, with the frame and `plainLength`
// untouched, for a malformed frame.
bool GostDecryptFrameInPlace(const GostKey& key, uint8_t* frame, uint32_t length, uint32_t& plainLength);

// Where the plaintext starts in a frame.
inline constexpr uint32_t kGostFrameHeaderSize = 12;

// True when the block loops use AVX2 (the processor and the system support
// it and the scalar path is not forced).
bool GostAvx2Active();

// Forces the table-lookup path on every processor (true) or lets the
// processor decide again (false), so tests can compare the two.
void GostUseScalarPathForTesting(bool scalar);

// The fixed key of the verification cache file.
void MakeCacheKey(GostKey& key);
