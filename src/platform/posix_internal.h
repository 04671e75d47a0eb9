// Pieces the layer's own files share; neither the system nor its tests use
// them directly.
#ifndef QUILLMOOR_PLATFORM_POSIX_INTERNAL_H_
#define QUILLMOOR_PLATFORM_POSIX_INTERNAL_H_

// True when name matches pattern, where "*" stands for any run of bytes and
// "?" for one byte, letters compared without regard to case (ASCII only, as
// the platform folds them for its own file names). A pattern that ends in
// ".*" also matches a name without that dot, so "*.*" matches every name.
bool MatchesFileNamePattern(const char* name, const char* pattern);

#endif  // QUILLMOOR_PLATFORM_POSIX_INTERNAL_H_
