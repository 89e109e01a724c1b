// Built by the tests with "qrvcc -c++": the C++ compiler and its library.
#include <string>

#include "msbasic.h"
#include "mssio.h"

int main() {
    if (!msbasic_init_main(msbasic_init_cascade)) return 1;
    std::string text = "hello from C++";
    mssio_printf("%s\n", text.c_str());
    msbasic_end_main(msbasic_init_cascade);
    return 0;
}
