/* A stand-in for an installed product executable: only its version
   resource matters to the tests, it does nothing when run. */
int main(void)
{
    return 0;
}
