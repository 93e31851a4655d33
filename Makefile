# The two commands of the README. Both install what is missing first.
.PHONY: run test
run:
	@scripts/run
test:
	@scripts/test
