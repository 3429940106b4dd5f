// kvax.out: VARN type complex array copy between the formatted and unformatted forms.
#include "driver/run.h"

int main(int argc, char** argv) { return kvax::kvax_main(argc, argv); }
