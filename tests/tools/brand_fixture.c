/* The program that the "packtool brand" tests brand: it does nothing; only its resources and layout matter. */
int main(void) {
    return 0;
}
