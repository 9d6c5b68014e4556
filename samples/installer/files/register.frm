Melvox registration form and price list (sample)
