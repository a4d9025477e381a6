int reliabilityNeededValue(void);

int main(void) {
    return reliabilityNeededValue();
}
