namespace zarnik {}
