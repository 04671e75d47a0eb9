// Turns the start-menu entries of a source section into sections
// em_usercmd<N> of a target settings file.
//
// Walks Menu1, Menu2, ... through the source section up to the first empty
// caption (and never past Menu65535), passes over captions that begin with
// "-", and writes each other entry N into its own section em_usercmd<N>: Menu
// always, then Cmd, Param, Path and Iconic where not empty. Nothing is
// deleted, and nothing is ever written through the source section.
//
// The walk stops at the first write that fails. `written` counts the entries
// all of whose writes succeeded; `write_failed` tells whether the walk ended
// on a failed write rather than at the end of the list.
#ifndef QUILLMOOR_CONVERSION_CONVERT_ENTRIES_H_
#define QUILLMOOR_CONVERSION_CONVERT_ENTRIES_H_

#include <stdint.h>

#include "settings/profile_section.h"
#include "text/fixed_text.h"

using EntryIndex = uint16_t;
using WrittenCount = uint16_t;

// One source entry while it is converted; every field is overwritten by each
// entry's read, so nothing carries over from the entry before.
struct StartMenuEntry {
  PathText menu_caption;
  FixedText<2048> command;
  PathText start_folder;
  PathText window_state;
  PathText parameters;
};

struct ConversionResult {
  WrittenCount written;
  bool write_failed;
};

ConversionResult ConvertEntries(const ProfileSection& source,
                                const PathText& target_path);

#endif  // QUILLMOOR_CONVERSION_CONVERT_ENTRIES_H_
