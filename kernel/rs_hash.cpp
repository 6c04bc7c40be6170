#include "kernel/rs_hash.h"

uint32_t RSHash(std::string_view text)
{
    return RSHashConst(text);
}
