/* A host program on the C interface: prints the component's identity. */
#include <brevion.h>
#include <stdio.h>

int main(void)
{
    printf("%s %s\n", brevion_progid(), brevion_version());
    return 0;
}
