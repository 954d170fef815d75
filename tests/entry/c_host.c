/* Loads libbrevion.so with dlopen, as a host in another language would, and checks the C
   interface: identity strings, create and release. */
#include "brevion.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

typedef brevion_component* (*create_fn)(void);
typedef void (*release_fn)(brevion_component*);
typedef const char* (*text_fn)(void);

static int failures = 0;

static void check(int ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "FAIL: %s\n", what);
        ++failures;
    }
}

static void* symbol(void* lib, const char* name)
{
    void* p = dlsym(lib, name);
    if (!p)
        fprintf(stderr, "FAIL: no symbol %s: %s\n", name, dlerror());
    return p;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s path/to/libbrevion.so\n", argv[0]);
        return 2;
    }
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "FAIL: dlopen: %s\n", dlerror());
        return 1;
    }
    create_fn create = (create_fn)symbol(lib, "brevion_create");
    release_fn release = (release_fn)symbol(lib, "brevion_release");
    text_fn progid = (text_fn)symbol(lib, "brevion_progid");
    text_fn version = (text_fn)symbol(lib, "brevion_version");
    check(symbol(lib, "brevion_show") != NULL, "brevion_show exported");
    if (!create || !release || !progid || !version)
        return 1;

    check(strcmp(progid(), "Brevion.NxConfig") == 0, "ProgID");
    check(strcmp(version(), "1.2.0") == 0, "version");

    /* Two components at once, released in either order; releasing NULL is ignored. */
    brevion_component* a = create();
    brevion_component* b = create();
    check(a != NULL && b != NULL && a != b, "create gives distinct components");
    release(b);
    release(a);
    release(NULL);

    dlclose(lib);
    if (failures == 0)
        puts("ok");
    return failures == 0 ? 0 : 1;
}
