/* A DLL with a version resource: a Windows image, but no launcher. */
__declspec(dllexport) int SampleValue(void) {
    return 42;
}
