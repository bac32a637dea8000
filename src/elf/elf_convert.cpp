#include "elf/elf_convert.h"

#include "coff/input_image.h"
#include "common/run_error.h"
#include "common/run_state.h"

namespace dravont {

bool is_elf_image(const InputImage& image) {
    return image.size() >= 4 && image.bytes[0] == 0x7F && image.bytes[1] == 'E' &&
           image.bytes[2] == 'L' && image.bytes[3] == 'F';
}

void convert_elf(RunState&) { throw RunFailure("ELF input is not supported yet\n\n"); }

}  // namespace dravont
