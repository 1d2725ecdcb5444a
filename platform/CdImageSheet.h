#pragma once

#include <string>

namespace platform {

// libcdio keeps an image's tracks in a fixed table of 99 entries and the
// lead-out, and its sheet parsers index that table with whatever the sheet
// says: a cue sheet of more than 99 tracks writes past it, and one whose
// first track number exceeds its track count, or that has no track, writes
// before it; a cdrdao .toc file with no track, more than 99, or a track
// setting (ISRC, SILENCE, NO COPY) before its first track does the same.
// Both corrupt the image handle, which crashes when it is destroyed. And a
// .toc track without a mode, or of mode MODE2, MODE2_FORM1 or MODE2_FORM2,
// keeps a sector size of zero that libcdio divides by.
//
// True unless `name` (UTF-8) is a sheet that libcdio would parse into such a
// write. The sheet is scanned as libcdio reads it: chosen by the name's last
// three letters ("cue", "bin" for the cue sheet beside it, "toc"), read in
// the same line pieces and split into the same words. Names that libcdio
// does not read as sheets (drives, other images, missing files) pass.
bool ImageSheetFitsTrackTable(const std::string& name);

}  // namespace platform
