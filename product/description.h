// The installation description as the run takes it in: read once, front
// to back, right after the archive header (archive/description.h reads
// and checks it; here its fields take effect), and read-only from then
// on. Its texts go to the message table (ui/messages.h), through which
// every user-visible text is fetched.
#pragma once

#include <stdint.h>

#include "archive/description.h"
#include "archive/format.h"
#include "core/byte_stream.h"
#include "core/string.h"
#include "product/run.h"

// Reads the description from its first byte into `description`, making
// the defaults the installer derives in place (the start-menu folder, the
// default directory, the display name), and sets what the run takes from
// it: the product name, automatic mode, the exit codes and the shared
// directory; the background's colours and picture; the message table.
// descriptionKey is the archive header's key, which is also the checksum
// of the unpacked description. Returns 0 when the description is sound,
// else the corrupt-archive code of the first failed check; the fields read
// before that check have taken effect.
int ReadDescriptionSettings(ByteStream& stream, uint32_t descriptionKey,
                            DescriptionFields& description, ProductRun& run);
// ReadDescriptionSettings, ending the program with the corrupt-archive
// report on a failed check.
void ReadDescription(ByteStream& stream, uint32_t descriptionKey, DescriptionFields& description,
                     ProductRun& run);
