int reliabilityNeededValue(void) {
    return 0;
}
