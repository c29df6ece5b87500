/* A DLL that only carries a version resource for the shell tests. */
int VersionedDllMarker(void)
{
    return 1;
}
