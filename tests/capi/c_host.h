/* The C host of the C interface tests (c_host.c). */
#ifndef Q8VANTORPT_TESTS_CAPI_C_HOST_H
#define Q8VANTORPT_TESTS_CAPI_C_HOST_H

#ifdef __cplusplus
extern "C" {
#endif

int q8_c_host_run(const char* dsn);

#ifdef __cplusplus
}
#endif

#endif
